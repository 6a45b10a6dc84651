// The command line's pure pieces: SHA-256 against the FIPS 180-2 examples and the run log's
// line.
#include "run_log.h"
#include "sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

using namespace pxr7;

namespace {

std::string hexOf(const std::string& text) {
    return sha256Hex(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

struct DigestCase {
    std::string message;
    const char* digest;
};

TEST(Sha256, MatchesTheFipsExamplesAndTheEmptyMessage) {
    const DigestCase cases[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the padding's length no longer fits the block, a second one follows.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    };
    for (const DigestCase& c : cases) {
        EXPECT_EQ(hexOf(c.message), c.digest) << c.message.size() << " bytes";
    }
}

TEST(Sha256, AnySplitOfTheInputGivesTheSameDigest) {
    const std::string message(1000000, 'a');
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(message.data());
    for (std::size_t chunk : {1u, 55u, 63u, 64u, 65u, 4099u}) {
        Sha256 hash;
        for (std::size_t at = 0; at < message.size(); at += chunk) {
            hash.update(bytes + at, std::min(chunk, message.size() - at));
        }
        const auto digest = hash.finish();
        EXPECT_EQ(digest[0], 0xcd) << "chunks of " << chunk;
        EXPECT_EQ(digest[31], 0xd0) << "chunks of " << chunk;
    }
}

TEST(RunLog, OneLineOfKeyValuePairsWithUnsafeValuesQuoted) {
    RunLogEntry entry;
    entry.command = "upgrade";
    entry.serial = "FT1A=2";
    entry.versionBefore = "PXR7 \"V1.02\"";
    entry.versionAfter = "V1.03\nforged=line";
    entry.outcome = "success";
    EXPECT_EQ(formatRunLogLine(entry, 86400 + 3661),
              "time=1970-01-02T01:01:01Z command=upgrade serial=\"FT1A=2\" "
              "before=\"PXR7 \\\"V1.02\\\"\" after=\"V1.03?forged=line\" outcome=success exit=0");
    EXPECT_EQ(formatRunLogLine(RunLogEntry{}, 0),
              "time=1970-01-01T00:00:00Z command=\"\" serial=\"\" before=\"\" after=\"\" "
              "outcome=\"\" exit=0");
}

TEST(RunLog, AppendsAndWarnsOnceWhenItCannotWrite) {
    const std::string path = ::testing::TempDir() + "pxr7_run_log_test.log";
    std::remove(path.c_str());
    RunLogEntry entry;
    entry.command = "list";
    EXPECT_TRUE(appendRunLog(path, entry));
    EXPECT_TRUE(appendRunLog(path, entry));
    std::ifstream file(path);
    int lines = 0;
    for (std::string line; std::getline(file, line);) {
        lines += line.find("command=list ") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(lines, 2);
    std::remove(path.c_str());

    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(appendRunLog(::testing::TempDir(), entry)); // a folder
    const std::string warning = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1) << warning;
    EXPECT_EQ(warning.rfind("pxr7: warning: ", 0), 0u) << warning;
}

} // namespace
