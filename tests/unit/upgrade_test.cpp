// The transfer state machine, driven tick by tick against a scripted bridge and meter.
#include "bridge_library.h"
#include "device_port.h"
#include "fake_d2xx.h"
#include "outcome_messages.h"
#include "upgrade.h"

#include <gtest/gtest.h>

#include <ostream>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace pxr7;

namespace {

using Bytes = std::vector<std::uint8_t>;

const char* timerName(UpgradeTimer timer) {
    return timer == UpgradeTimer::Tick ? "tick" : "reset";
}

class FakeHost : public UpgradeHost {
public:
    void setTimer(UpgradeTimer timer, std::chrono::milliseconds period) override {
        events.push_back(std::string("set ") + timerName(timer) + " " +
                         std::to_string(period.count()));
        running[timer] = true;
    }
    void killTimer(UpgradeTimer timer) override {
        events.push_back(std::string("kill ") + timerName(timer));
        running[timer] = false;
    }
    void progressChanged(const UpgradeProgress&) override { ++progressReports; }
    void phaseChanged(UpgradePhase phase) override {
        static const char* const names[] = {"Reset", "WaitingForMeter", "Sending", "Done"};
        reports.push_back(names[static_cast<int>(phase)]);
    }
    void finished(const UpgradeOutcome& outcome) override {
        outcomes.push_back(outcome);
        reports.push_back("finished");
        if (onOutcome) {
            onOutcome();
        }
    }
    ImageLookup findImage(std::uint32_t resourceId, const std::uint8_t** data,
                          std::uint32_t* size) override {
        lookedUp = resourceId;
        if (lookup != ImageLookup::Found) {
            return lookup;
        }
        *data = image.data();
        *size = static_cast<std::uint32_t>(image.size());
        return ImageLookup::Found;
    }

    bool timerRunning(UpgradeTimer timer) { return running[timer]; }
    UpgradeResult lastResult() const {
        return outcomes.empty() ? UpgradeResult::Cancelled : outcomes.back().result;
    }

    std::vector<std::string> events;
    std::map<UpgradeTimer, bool> running;
    int progressReports = 0;
    std::vector<std::string> reports; // phases and the outcome, in order
    std::vector<UpgradeOutcome> outcomes;
    std::function<void()> onOutcome;
    Bytes image;
    ImageLookup lookup = ImageLookup::Found;
    std::uint32_t lookedUp = 0;
};

Bytes patternImage(std::size_t size) {
    Bytes image(size);
    std::uint32_t x = 2463534242u;
    for (auto& byte : image) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        byte = static_cast<std::uint8_t>(x);
    }
    return image;
}

// A meter that answers one byte per read from a queue the test (or the meter itself) fills,
// checks each wire record's checksum and keeps what it received.
struct ScriptedMeter {
    std::deque<std::uint8_t> pending;
    Bytes received;
    int handshakes = 0;
    int records = 0;
    int badRecords = 0;
    bool autoRequest = true;

    void attach(FakeD2xx& bridge) {
        bridge.onRead = [this](std::uint32_t) {
            FakeRead read;
            if (!pending.empty()) {
                read.bytes.push_back(pending.front());
                pending.pop_front();
            }
            return read;
        };
        bridge.onWrite = [this](const std::uint8_t* data, std::uint32_t length) {
            if (length == 1 && data[0] == '{') {
                ++handshakes;
            } else if (length == kWireRecordSize) {
                std::uint8_t sum = 0;
                for (std::size_t i = 0; i < kFirmwareRecordSize; ++i) {
                    sum = static_cast<std::uint8_t>(sum + data[i]);
                }
                badRecords += sum == data[kFirmwareRecordSize] ? 0 : 1;
                received.insert(received.end(), data, data + kFirmwareRecordSize);
                ++records;
            } else {
                return;
            }
            if (autoRequest) {
                pending.push_back('!');
            }
        };
    }
};

class UpgradeTest : public ::testing::Test {
public:
    void SetUp() override {
        bridge = &installFakeD2xx();
        upgrade = std::make_unique<Upgrade>(host);
        upgrade->chooseImage(IMAGE_RESOURCE_ID);
        host.image = patternImage(314 * kFirmwareRecordSize);
        meter.attach(*bridge);
    }
    void TearDown() override { uninstallFakeD2xx(); }

    void start(bool confirmed = true) {
        upgrade->start([confirmed] { return confirmed; });
    }
    // Ends the reset pulse the way the reset timer does.
    void endResetPulse() { upgrade->onTimer(UpgradeTimer::Reset); }
    void tick() { upgrade->onTimer(UpgradeTimer::Tick); }
    const UpgradeState& state() const { return upgrade->state(); }
    // Ticks until the upgrade is no longer active, with a bound so a fault cannot hang.
    int runToEnd(int limit = 100000) {
        int ticks = 0;
        while (state().active && ticks < limit) {
            tick();
            ++ticks;
        }
        return ticks;
    }
    std::string callsFrom(std::size_t first) const {
        std::string joined;
        for (std::size_t i = first; i < bridge->calls.size(); ++i) {
            joined += (joined.empty() ? "" : " ") + bridge->calls[i];
        }
        return joined;
    }

    FakeD2xx* bridge = nullptr;
    FakeHost host;
    std::unique_ptr<Upgrade> upgrade;
    ScriptedMeter meter;
};

TEST_F(UpgradeTest, StartOpensBridgeZeroAtOneMegabaudChecksEepromThenPulsesDtr) {
    start();
    // Who the bridge is, before anything is changed on it.
    EXPECT_EQ(bridge->callList(), "FT_Open(0) FT_GetDeviceInfo FT_ClrDtr FT_SetBaudRate(1000000) "
                                  "FT_SetDataCharacteristics(8,0,0) FT_SetFlowControl(0,0,0) "
                                  "FT_EE_Read FT_SetDtr");
    EXPECT_EQ(host.events, (std::vector<std::string>{"kill reset", "kill tick", "set reset 1000",
                                                     "set tick 10"}));
    EXPECT_TRUE(state().active);
    EXPECT_TRUE(state().resetPending);
    EXPECT_EQ(state().recordCount, 314);
    EXPECT_EQ(host.lookedUp, IMAGE_RESOURCE_ID);

    // Ticks during the pulse do nothing.
    const std::size_t before = bridge->calls.size();
    tick();
    EXPECT_EQ(bridge->calls.size(), before);

    endResetPulse();
    EXPECT_EQ(callsFrom(before), "FT_ClrDtr FT_Purge(1) FT_SetTimeouts(1,1000)");
    EXPECT_FALSE(host.timerRunning(UpgradeTimer::Reset));
    EXPECT_TRUE(host.timerRunning(UpgradeTimer::Tick));
}

TEST_F(UpgradeTest, AWholeImageGoesOutRecordByRecordByteForByte) {
    start();
    endResetPulse();
    meter.pending.push_back('}');
    runToEnd();

    EXPECT_EQ(meter.handshakes, 1);
    EXPECT_EQ(meter.records, 314);
    EXPECT_EQ(meter.badRecords, 0);
    EXPECT_EQ(meter.received, host.image);
    ASSERT_EQ(host.outcomes.size(), 1u);
    EXPECT_EQ(host.outcomes[0].result, UpgradeResult::Completed);
    EXPECT_EQ(state().progress, 314);
    EXPECT_FALSE(host.timerRunning(UpgradeTimer::Tick));
    EXPECT_FALSE(host.timerRunning(UpgradeTimer::Reset));
    // The closing pulse, then the port is closed.
    const std::string calls = bridge->callList();
    EXPECT_EQ(calls.substr(calls.size() - std::string("FT_SetDtr FT_ClrDtr FT_Close").size()),
              "FT_SetDtr FT_ClrDtr FT_Close");
    EXPECT_EQ(upgrade->port()->handle, nullptr);
    // 314 records, one "{": nothing else was written after the start.
    EXPECT_EQ(bridge->writes.size(), 315u);
    // Done comes after the outcome was shown; the bar was redrawn for every record.
    EXPECT_EQ(host.reports, (std::vector<std::string>{"Reset", "WaitingForMeter", "Sending",
                                                      "finished", "Done"}));
    EXPECT_GE(host.progressReports, 314);
}

TEST_F(UpgradeTest, ThePartialLastRecordIsNeverSent) {
    host.image = patternImage(3 * kFirmwareRecordSize + 200);
    start();
    endResetPulse();
    meter.pending.push_back('}');
    runToEnd();
    EXPECT_EQ(meter.records, 3);
    EXPECT_EQ(meter.received, Bytes(host.image.begin(), host.image.begin() + 3 * 515));
    EXPECT_EQ(host.lastResult(), UpgradeResult::Completed);
}

TEST_F(UpgradeTest, AnImageShorterThanOneRecordCompletesOnTheFirstRequest) {
    host.image = patternImage(100);
    start();
    EXPECT_EQ(state().recordCount, 0);
    EXPECT_EQ(progressFillWidth(upgrade->progress(), 205), 0);
    endResetPulse();
    meter.pending.push_back('}');
    runToEnd();
    EXPECT_EQ(meter.records, 0);
    EXPECT_EQ(meter.handshakes, 1);
    EXPECT_EQ(host.lastResult(), UpgradeResult::Completed);
}

TEST_F(UpgradeTest, TenSilentPollsFailTheHandshake) {
    start();
    endResetPulse();
    for (int i = 0; i < 9; ++i) {
        tick();
    }
    EXPECT_TRUE(state().active);
    tick();
    EXPECT_FALSE(state().active);
    ASSERT_EQ(host.outcomes.size(), 1u);
    EXPECT_EQ(host.outcomes[0].result, UpgradeResult::HandshakeFailed);
    EXPECT_EQ(host.outcomes[0].phase, TransferPhase::Handshake);
    EXPECT_EQ(host.outcomes[0].fault, TransferFault::NoReply);
    EXPECT_EQ(meter.handshakes, 0);
    EXPECT_EQ(upgrade->port()->handle, nullptr);
    EXPECT_EQ(host.reports,
              (std::vector<std::string>{"Reset", "WaitingForMeter", "finished", "Done"}));
}

// The limit is checked before the byte is looked at: a byte read on the poll that reaches the
// limit does not save the transfer, one read on the poll before does.
TEST_F(UpgradeTest, OnlyAByteBeforeTheLimitPollSavesTheTransfer) {
    const struct {
        TransferPhase phase;
        int pollOfByte;
        bool saved;
    } rows[] = {
        {TransferPhase::Handshake, kHandshakePollLimit - 1, true},
        {TransferPhase::Handshake, kHandshakePollLimit, false},
        {TransferPhase::Records, kRecordPollLimit - 1, true},
        {TransferPhase::Records, kRecordPollLimit, false},
    };
    for (const auto& row : rows) {
        TearDown();
        meter = ScriptedMeter();
        host = FakeHost();
        SetUp();
        meter.autoRequest = false;
        start();
        endResetPulse();
        const bool records = row.phase == TransferPhase::Records;
        if (records) {
            meter.pending.push_back('}');
            tick();
        }
        for (int poll = 1; poll < row.pollOfByte; ++poll) {
            tick();
        }
        meter.pending.push_back(records ? '!' : '}');
        tick();
        const int taken = records ? meter.records : meter.handshakes;
        EXPECT_EQ(state().active, row.saved) << row.pollOfByte;
        EXPECT_EQ(taken, row.saved ? 1 : 0) << row.pollOfByte;
        ASSERT_EQ(host.outcomes.size(), row.saved ? 0u : 1u) << row.pollOfByte;
        if (!row.saved) {
            EXPECT_EQ(host.outcomes[0].phase, row.phase);
            EXPECT_EQ(host.outcomes[0].fault, TransferFault::NoReply);
        }
    }
}

TEST_F(UpgradeTest, HandshakeOnTheNinthPollIsInTime) {
    start();
    endResetPulse();
    for (int i = 0; i < 8; ++i) {
        tick();
    }
    meter.pending.push_back('}');
    tick();
    EXPECT_EQ(meter.handshakes, 1);
    EXPECT_EQ(state().state, TransferState::SendingRecords);
}

TEST_F(UpgradeTest, StrayBytesOnlyCountAsPolls) {
    meter.autoRequest = false;
    start();
    endResetPulse();
    meter.pending.push_back('!'); // a request before the handshake
    meter.pending.push_back('x');
    meter.pending.push_back('}');
    tick();
    tick();
    EXPECT_EQ(meter.records, 0);
    EXPECT_EQ(state().pollCount, 2);
    tick();
    EXPECT_EQ(meter.handshakes, 1);
    // A handshake while sending records is just another poll.
    meter.pending.push_back('}');
    tick();
    EXPECT_EQ(meter.handshakes, 1);
    EXPECT_EQ(meter.records, 0);
    EXPECT_EQ(state().pollCount, 1);
}

TEST_F(UpgradeTest, AFailedReadIsOnlyAPoll) {
    start();
    endResetPulse();
    bridge->onRead = [](std::uint32_t) {
        FakeRead failed;
        failed.status = FT_IO_ERROR;
        failed.bytes = {'}'}; // whatever landed in the buffer
        return failed;
    };
    tick();
    // In the handshake state the buffer is looked at whatever the status.
    EXPECT_EQ(meter.handshakes, 1);
    // In the record state a failed read counts as nothing received.
    tick();
    tick();
    EXPECT_EQ(meter.records, 0);
    EXPECT_EQ(state().pollCount, 2);
    EXPECT_TRUE(state().active);
}

TEST_F(UpgradeTest, TheFiftiethSilentPollFailsTheTransfer) {
    start();
    endResetPulse();
    meter.autoRequest = false;
    meter.pending.push_back('}');
    tick();
    meter.pending.push_back('!');
    tick();
    ASSERT_EQ(meter.records, 1);
    for (int i = 0; i < 49; ++i) {
        tick();
    }
    EXPECT_TRUE(state().active);
    tick();
    EXPECT_FALSE(state().active);
    ASSERT_EQ(host.outcomes.size(), 1u);
    EXPECT_EQ(host.outcomes[0].result, UpgradeResult::HandshakeFailed);
    EXPECT_EQ(host.outcomes[0].phase, TransferPhase::Records);
    EXPECT_EQ(host.outcomes[0].fault, TransferFault::NoReply);
    EXPECT_EQ(host.outcomes[0].nextRecord, 1);
    EXPECT_EQ(host.outcomes[0].recordCount, 314);
}

TEST_F(UpgradeTest, ABrokenReadCountFailsAtOnceInBothStates) {
    for (int phase = 0; phase < 2; ++phase) {
        SetUp();
        start();
        endResetPulse();
        if (phase == 1) {
            meter.pending.push_back('}');
            tick();
        }
        bridge->onRead = [](std::uint32_t) {
            FakeRead broken;
            broken.overrideCount = true;
            broken.count = 0xFFFFFFFFu;
            return broken;
        };
        tick();
        EXPECT_FALSE(state().active) << "phase " << phase;
        ASSERT_FALSE(host.outcomes.empty());
        EXPECT_EQ(host.lastResult(), UpgradeResult::HandshakeFailed);
        EXPECT_EQ(host.outcomes.back().fault, TransferFault::BrokenRead);
        host.outcomes.clear();
    }
}

TEST_F(UpgradeTest, TicksArrivingDuringTheFailureBoxReturnAtOnce) {
    start();
    endResetPulse();
    int nestedReads = 0;
    host.onOutcome = [&] {
        const std::size_t before = bridge->calls.size();
        // The message box's own loop keeps delivering the tick timer.
        EXPECT_TRUE(state().busy);
        EXPECT_TRUE(state().active);
        tick();
        tick();
        nestedReads += static_cast<int>(bridge->calls.size() - before);
    };
    runToEnd();
    EXPECT_EQ(nestedReads, 0);
    EXPECT_EQ(host.outcomes.size(), 1u);
    EXPECT_FALSE(state().busy);
}

TEST_F(UpgradeTest, CancellingTheWarningLeavesARunningTransferRunning) {
    start();
    endResetPulse();
    meter.pending.push_back('}');
    for (int i = 0; i < 10; ++i) {
        tick();
    }
    ASSERT_GT(state().progress, 0);
    const std::size_t before = bridge->calls.size();
    start(false);
    EXPECT_EQ(bridge->calls.size(), before);
    EXPECT_TRUE(state().active);
    EXPECT_EQ(state().progress, 0);
    runToEnd();
    EXPECT_EQ(meter.received, host.image);
}

TEST_F(UpgradeTest, ConfirmingARestartStopsTheRunningTransferAndStartsAfresh) {
    start();
    endResetPulse();
    meter.pending.push_back('}');
    for (int i = 0; i < 10; ++i) {
        tick();
    }
    host.events.clear();
    bridge->calls.clear();
    start();
    EXPECT_EQ(host.events, (std::vector<std::string>{"kill reset", "kill tick", "set reset 1000",
                                                     "set tick 10"}));
    EXPECT_EQ(bridge->callList().substr(0, 17), "FT_Close FT_Open(");
    EXPECT_TRUE(state().resetPending);
}

struct StartFailure {
    const char* name;
    void (*arrange)(FakeHost&, FakeD2xx&);
    int message;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const StartFailure& testCase, std::ostream* out) {
    *out << testCase.name;
}

class UpgradeStartFailureTest : public UpgradeTest,
                                public ::testing::WithParamInterface<StartFailure> {};

TEST_P(UpgradeStartFailureTest, ShowsItsMessageAndLeavesNoTimerRunning) {
    GetParam().arrange(host, *bridge);
    start();
    ASSERT_EQ(host.outcomes.size(), 1u);
    const OutcomeMessage shown = outcomeMessageFor(host.outcomes[0].result);
    EXPECT_EQ(shown.index, GetParam().message);
    EXPECT_EQ(shown.kind, MessageKind::Error);
    EXPECT_FALSE(state().active);
    EXPECT_FALSE(host.timerRunning(UpgradeTimer::Tick));
    EXPECT_FALSE(host.timerRunning(UpgradeTimer::Reset));
    EXPECT_EQ(bridge->callList().find("FT_SetDtr"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, UpgradeStartFailureTest,
    ::testing::Values(
        StartFailure{"ImageNotFound",
                     [](FakeHost& h, FakeD2xx&) { h.lookup = ImageLookup::NotFound; }, 16},
        StartFailure{"ImageEmpty",
                     [](FakeHost& h, FakeD2xx&) { h.lookup = ImageLookup::SizeUnknown; }, 17},
        StartFailure{"ImageNotLoadable",
                     [](FakeHost& h, FakeD2xx&) { h.lookup = ImageLookup::CannotLoad; }, 18},
        StartFailure{"ImageNotLockable",
                     [](FakeHost& h, FakeD2xx&) { h.lookup = ImageLookup::CannotLock; }, 19},
        StartFailure{"ImageAltered",
                     [](FakeHost& h, FakeD2xx&) { h.lookup = ImageLookup::Altered; }, 18},
        StartFailure{"ZeroSizeFound", [](FakeHost& h, FakeD2xx&) { h.image.clear(); }, 17},
        StartFailure{"NoBridge",
                     [](FakeHost&, FakeD2xx& b) { b.status["FT_Open"] = FT_DEVICE_NOT_FOUND; }, 10},
        StartFailure{"LineCannotBeSet",
                     [](FakeHost&, FakeD2xx& b) { b.status["FT_SetFlowControl"] = FT_IO_ERROR; },
                     10},
        StartFailure{"BridgeReprogrammed", [](FakeHost&, FakeD2xx& b) { b.eeprom.Cbus4 = 0; }, 13}),
    [](const ::testing::TestParamInfo<StartFailure>& caseInfo) { return caseInfo.param.name; });

TEST_F(UpgradeTest, WithoutTheDriverTheUserIsToldToInstallIt) {
    installBridgeTable(nullptr);
    start();
    ASSERT_EQ(host.outcomes.size(), 1u);
    EXPECT_EQ(host.outcomes[0].result, UpgradeResult::NoDriver);
    EXPECT_EQ(outcomeMessageFor(UpgradeResult::NoDriver).index, 11);
    EXPECT_TRUE(host.events.empty());
}

TEST_F(UpgradeTest, NoImageChosenStopsSilently) {
    upgrade->chooseImage(0);
    start();
    ASSERT_EQ(host.outcomes.size(), 1u);
    EXPECT_EQ(outcomeMessageFor(host.outcomes[0].result).index, -1);
    EXPECT_TRUE(bridge->calls.empty());
}

TEST_F(UpgradeTest, TimersAreIgnoredWhileNotActive) {
    tick();
    endResetPulse();
    EXPECT_TRUE(bridge->calls.empty());
    EXPECT_TRUE(host.events.empty());
}

TEST(ProgressFill, FollowsTheRecordsSent) {
    UpgradeProgress progress{157, 314, true};
    EXPECT_EQ(progressFillWidth(progress, 205), 102); // 10 + 102 = x 112
    progress.done = 314;
    EXPECT_EQ(progressFillWidth(progress, 205), 205);
    progress.done = 0;
    EXPECT_EQ(progressFillWidth(progress, 205), 0);
    progress.total = 0;
    EXPECT_EQ(progressFillWidth(progress, 205), 0);
}

} // namespace
