// libftdi1 over the USB-level simulated FT232R (sim/usb): the trace holds the USB requests
// that reached a bridge, so a call refused for its handle leaves none.
#include "backend_rig.h"
#include "ftdi_backend.h"
#include "usb_sim_rig.h"

namespace contract {

namespace {

class UsbBackendRig : public BackendRig {
public:
    explicit UsbBackendRig(const std::string& scenario) : rig_(scenario) {}

    bool ready() const override { return rig_.ready(); }
    void clearTrace() override { rig_.clearTrace(); }

    testing::AssertionResult reachedNoBridge(int /*calls*/) const override {
        const auto trace = rig_.trace();
        if (!trace.empty()) {
            return testing::AssertionFailure() << "a bad handle reached the bus: " << trace[0];
        }
        return testing::AssertionSuccess();
    }

    int latencyTimerSettings() const override {
        return static_cast<int>(
            usbrig::linesWith(rig_.trace(), "request", "SIO_SET_LATENCY_TIMER").size());
    }

    std::string lastError() const override { return pxr7::libftdiLastError(); }

private:
    usbrig::UsbSimRig rig_;
};

std::unique_ptr<BackendRig> makeUsbRig(const std::string& scenario) {
    return std::make_unique<UsbBackendRig>(scenario);
}

} // namespace

Backend libftdiOverUsbSimulator() {
    return Backend{"LibftdiOverUsbSimulator", makeUsbRig, "udev", "device vanished", true};
}

} // namespace contract
