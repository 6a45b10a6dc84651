// The command line's text wrapping (cli/terminal.*), which the help, the warnings above the
// lanes and the station's screen all lay out with.
#include "terminal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace pxr7 {
namespace {

TEST(WrapText, NoLineIsWiderThanAskedAndNoWordIsLost) {
    const std::string text = "Before upgrading your unit please make sure that the battery is "
                             "charged to at least 50%.\nAVeryLongWordThatCannotBreakAnywhere";
    std::string joined;
    for (const std::string& line : wrapText(text, 12)) {
        EXPECT_LE(line.size(), 12u) << line;
        joined += line;
    }
    std::string squeezed;
    for (char c : text) {
        if (c != ' ' && c != '\n') {
            squeezed += c;
        }
    }
    joined.erase(std::remove(joined.begin(), joined.end(), ' '), joined.end());
    EXPECT_EQ(joined, squeezed);
    EXPECT_EQ(wrapText("a\n\nb", 0), (std::vector<std::string>{"a", "", "b"}));
}

} // namespace
} // namespace pxr7
