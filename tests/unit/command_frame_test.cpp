#include "command_frame.h"
#include "device_port.h"
#include "fake_d2xx.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cstring>
#include <string>
#include <vector>

using namespace pxr7;

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(CommandFrame, VersionRequestIsTheExactTenBytes) {
    FakeD2xx& bridge = installFakeD2xx();
    DevicePort port;
    ASSERT_EQ(port.open(0), FT_OK);
    EXPECT_EQ(sendCommand(port, "VERSION", 7), 7);
    ASSERT_EQ(bridge.writes.size(), 1u);
    EXPECT_EQ(bridge.writes[0],
              (Bytes{0x02, 0x07, 0x56, 0x45, 0x52, 0x53, 0x49, 0x4F, 0x4E, 0xD2}));
    uninstallFakeD2xx();
}

TEST(CommandFrame, PayloadsThatCannotBeFramedAreNotSent) {
    FakeD2xx& bridge = installFakeD2xx();
    DevicePort port;
    ASSERT_EQ(port.open(0), FT_OK);
    std::string tooLong(254, 'A');
    EXPECT_EQ(sendCommand(port, tooLong.c_str(), 254), -1);
    EXPECT_EQ(sendCommand(port, "X", -1), -1);
    EXPECT_TRUE(bridge.writes.empty());
    std::string longest(253, 'A');
    EXPECT_EQ(sendCommand(port, longest.c_str(), 253), 253);
    ASSERT_EQ(bridge.writes.size(), 1u);
    EXPECT_EQ(bridge.writes[0].size(), 256u);
    uninstallFakeD2xx();
}

TEST(CommandFrame, EmptyPayloadFrame) {
    std::uint8_t frame[3];
    EXPECT_EQ(buildCommandFrame(nullptr, 0, frame), 3);
    EXPECT_EQ(Bytes(frame, frame + 3), (Bytes{0x02, 0x00, 0xFF}));
}

struct ReplyCase {
    const char* name;
    Bytes bytes;
    int expected;
    const char* text;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ReplyCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class ParseReplyTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ParseReplyTest, ChecksAndUnpacks) {
    const ReplyCase& c = GetParam();
    char text[64];
    std::memset(text, 'Z', sizeof text);
    EXPECT_EQ(parseReply(c.bytes.data(), c.bytes.size(), text, sizeof text), c.expected);
    EXPECT_STREQ(text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ParseReplyTest,
    ::testing::Values(
        ReplyCase{"WorkedExample", {0x02, 0x02, 0x41, 0x42, 0x7A}, 2, "AB"},
        ReplyCase{"ChecksumOffByOne", {0x02, 0x02, 0x41, 0x42, 0x7B}, -1, ""},
        ReplyCase{"BadStart", {0x03, 0x02, 0x41, 0x42, 0x7A}, -1, ""},
        ReplyCase{"TopBitLength", Bytes(200, 0x80), -1, ""},
        ReplyCase{"FramePastTheBuffer", {0x02, 0x05, 0x41, 0x42, 0x7A}, -1, ""},
        ReplyCase{"TooShortForAFrame", {0x02, 0x00}, -1, ""},
        ReplyCase{"EmptyPayload", {0x02, 0x00, 0xFF}, 0, ""},
        // A zero inside the payload ends the text; the checksum still covers every byte.
        ReplyCase{"ZeroInsidePayload", {0x02, 0x03, 0x41, 0x00, 0x42, 0x79}, 3, "A"}),
    [](const ::testing::TestParamInfo<ReplyCase>& caseInfo) { return caseInfo.param.name; });

TEST(ParseReply, ALongPayloadIsCutToTheTextBuffer) {
    Bytes frame = {0x02, 100};
    for (int i = 0; i < 100; ++i) {
        frame.push_back('0' + i % 10);
    }
    frame.push_back(frameChecksum(frame.data() + 1, 101));
    char text[64];
    ASSERT_EQ(parseReply(frame.data(), frame.size(), text, sizeof text), 100);
    EXPECT_EQ(std::strlen(text), 63u);
    EXPECT_EQ(std::string(text, 3), "012");
}

TEST(ParseReply, EveryLengthThatFitsParsesAndNoneReadsPastTheFrame) {
    for (int length = 0; length <= 124; ++length) {
        Bytes frame = {0x02, static_cast<std::uint8_t>(length)};
        frame.insert(frame.end(), static_cast<std::size_t>(length), 'v');
        frame.push_back(frameChecksum(frame.data() + 1, static_cast<std::size_t>(length) + 1));
        char text[64];
        EXPECT_EQ(parseReply(frame.data(), frame.size(), text, sizeof text), length);
        // One byte short of the whole frame must never be accepted.
        EXPECT_EQ(parseReply(frame.data(), frame.size() - 1, text, sizeof text), -1);
    }
}

} // namespace
