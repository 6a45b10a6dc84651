#include "message_catalogue.h"
#include "outcome_messages.h"

#include <gtest/gtest.h>

#include <string>

using namespace pxr7;

namespace {

TEST(MessageCatalogue, IndicesMapToTheirStringIdentifiers) {
    EXPECT_EQ(messageStringId(0), 110);
    EXPECT_EQ(messageStringId(15), 138);
    EXPECT_EQ(messageStringId(18), 234);
    EXPECT_EQ(messageStringId(19), 232);
    EXPECT_EQ(messageStringId(21), 148);
    EXPECT_EQ(messageStringId(-1), -1);
    EXPECT_EQ(messageStringId(22), -1);
}

TEST(MessageCatalogue, TheTitleNamesTheWindowAndItsClass) {
    const ApplicationTitle loaded = loadApplicationTitle();
    EXPECT_STREQ(loaded.title, "Tavelin Meter - PXR7");
    EXPECT_STREQ(loaded.className, "Tavelin Meter - PXR7");
    char text[kMessageBufferSize];
    loadMessageText(20, text, sizeof text);
    EXPECT_STREQ(text, "Upgrade complete");
    loadMessageText(99, text, sizeof text);
    EXPECT_STREQ(text, "");
}

// The Windows program's boxes: a corrected lead shows index 13, not 12, and every transfer
// failure index 2; a cancelled warning shows nothing.
TEST(OutcomeMessages, EachOutcomeShowsItsBox) {
    struct Row {
        UpgradeResult result;
        int index;
        MessageKind kind;
    };
    const MessageKind error = MessageKind::Error;
    const Row rows[] = {
        {UpgradeResult::Completed, 20, MessageKind::Information},
        {UpgradeResult::Cancelled, -1, error},
        {UpgradeResult::NoDriver, 11, error},
        {UpgradeResult::ImageNotChosen, -1, error},
        {UpgradeResult::ImageNotFound, 16, error},
        {UpgradeResult::ImageEmpty, 17, error},
        {UpgradeResult::ImageCannotLoad, 18, error},
        {UpgradeResult::ImageCannotLock, 19, error},
        {UpgradeResult::ImageAltered, 18, error},
        {UpgradeResult::OutOfMemory, 14, error},
        {UpgradeResult::PortError, 10, error},
        {UpgradeResult::LeadReprogrammed, 13, error},
        {UpgradeResult::HandshakeFailed, 2, error},
    };
    for (const Row& row : rows) {
        const OutcomeMessage message = outcomeMessageFor(row.result);
        EXPECT_EQ(message.index, row.index) << static_cast<int>(row.result);
        if (row.index >= 0) {
            EXPECT_EQ(message.kind, row.kind) << static_cast<int>(row.result);
        }
    }
}

TEST(MessageCatalogue, LongTextsAreCutAtTheBufferSize) {
    char small[8];
    loadMessageText(2, small, sizeof small);
    EXPECT_STREQ(small, "Error -");
    char one[1] = {'x'};
    loadMessageText(2, one, sizeof one);
    EXPECT_EQ(one[0], '\0');
    char full[512];
    loadMessageText(12, full, sizeof full);
    EXPECT_EQ(std::string(full), "The device has been upgraded and is recycling. You may need to "
                                 "disconnect then reconnect the USB lead.");
}

} // namespace
