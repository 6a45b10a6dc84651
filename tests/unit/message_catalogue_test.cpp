#include "message_catalogue.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string g_lastText;
std::string g_lastCaption;
MessageKind g_lastKind = MessageKind::Error;

void recordPresentation(const char* text, const char* caption, MessageKind kind) {
    g_lastText = text;
    g_lastCaption = caption;
    g_lastKind = kind;
}

TEST(MessageCatalogue, IndicesMapToTheirStringIdentifiers) {
    EXPECT_EQ(messageStringId(0), 110);
    EXPECT_EQ(messageStringId(15), 138);
    EXPECT_EQ(messageStringId(18), 234);
    EXPECT_EQ(messageStringId(19), 232);
    EXPECT_EQ(messageStringId(21), 148);
    EXPECT_EQ(messageStringId(-1), -1);
    EXPECT_EQ(messageStringId(22), -1);
}

TEST(MessageCatalogue, UpgradeCompleteIsShownUnderTheTitle) {
    loadApplicationTitle();
    EXPECT_STREQ(applicationTitle(), "Tavelin Meter - PXR7");
    EXPECT_STREQ(applicationClassName(), "Tavelin Meter - PXR7");
    setMessagePresenter(recordPresentation);
    showMessage(20, MessageKind::Information);
    EXPECT_EQ(g_lastText, "Upgrade complete");
    EXPECT_EQ(g_lastCaption, "Tavelin Meter - PXR7");
    EXPECT_EQ(g_lastKind, MessageKind::Information);
    showMessage(99, MessageKind::Error);
    EXPECT_EQ(g_lastText, "");
    setMessagePresenter(nullptr);
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
