// A start that cannot allocate its port says "Can't allocate memory" and touches no bridge.
// Its own program: it replaces the nothrow operator new, which the port is allocated with.
#include "fake_d2xx.h"
#include "outcome_messages.h"
#include "upgrade.h"

#include <gtest/gtest.h>

#include <new>

namespace {

// When set, the next nothrow allocation of this many bytes fails.
std::size_t g_failNothrowSize = 0;

} // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (size != 0 && size == g_failNothrowSize) {
        g_failNothrowSize = 0;
        return nullptr;
    }
    try {
        return ::operator new(size); // freed by the ordinary operator delete
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

namespace {

class StartHost : public UpgradeHost {
public:
    void setTimer(UpgradeTimer, std::chrono::milliseconds) override { ++timerCalls; }
    void killTimer(UpgradeTimer) override {}
    void progressChanged(const UpgradeProgress&) override {}
    void phaseChanged(UpgradePhase) override {}
    void finished(const UpgradeOutcome& outcome) override { outcomes.push_back(outcome); }
    ImageLookup findImage(std::uint32_t, const std::uint8_t** data, std::uint32_t* size) override {
        *data = image.data();
        *size = static_cast<std::uint32_t>(image.size());
        return ImageLookup::Found;
    }
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(2 * kFirmwareRecordSize, 0x5A);
    std::vector<UpgradeOutcome> outcomes;
    int timerCalls = 0;
};

TEST(PortAllocation, ANoMemoryStartReportsItAndTheNextStartGoesOn) {
    FakeD2xx& bridge = installFakeD2xx();
    StartHost host;
    Upgrade upgrade(host);
    upgrade.chooseImage(IMAGE_RESOURCE_ID);

    g_failNothrowSize = sizeof(DevicePort);
    upgrade.start([] { return true; });
    ASSERT_EQ(host.outcomes.size(), 1u);
    EXPECT_EQ(host.outcomes[0].result, UpgradeResult::OutOfMemory);
    EXPECT_EQ(outcomeMessageFor(host.outcomes[0].result).index, 14);
    EXPECT_TRUE(bridge.calls.empty());
    EXPECT_EQ(host.timerCalls, 0);
    EXPECT_EQ(upgrade.port(), nullptr);

    // Memory is back: the port is made and the reset pulse starts.
    upgrade.start([] { return true; });
    EXPECT_EQ(host.outcomes.size(), 1u);
    EXPECT_TRUE(upgrade.progress().active);
    EXPECT_NE(bridge.callList().find("FT_SetDtr"), std::string::npos);
    uninstallFakeD2xx();
}

} // namespace
