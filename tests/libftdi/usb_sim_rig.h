// Drives the libftdi backend against the USB-level simulated FT232R (sim/usb): the test runs
// with the stand-in libusb first on LD_LIBRARY_PATH (set by ctest), so the real libftdi1
// talks to simulated bridges. Writes a scenario into a fresh folder, resets the stand-in to
// it and installs the backend. One rig at a time per process.
#pragma once

#include <string>
#include <vector>

namespace usbrig {

class UsbSimRig {
public:
    explicit UsbSimRig(const std::string& scenarioText);
    ~UsbSimRig();
    UsbSimRig(const UsbSimRig&) = delete;
    UsbSimRig& operator=(const UsbSimRig&) = delete;

    // The stand-in answered and the backend is installed.
    bool ready() const { return ready_; }
    // A new program run on the same rig: every device and all state gone, the scenario (and
    // its state file) read again.
    void restart();

    std::string path(const std::string& name) const { return folder_ + "/" + name; }
    std::vector<std::string> trace() const;
    void clearTrace();

private:
    std::string folder_;
    bool ready_ = false;
};

// Trace lines whose value for key is value ("request", "SIO_WRITE_EEPROM").
std::vector<std::string> linesWith(const std::vector<std::string>& lines, const std::string& key,
                                   const std::string& value);

} // namespace usbrig
