#include "usb_sim_rig.h"

#include "ftdi_backend.h"
#include "sim_rig.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <dlfcn.h>
#include <unistd.h>

namespace usbrig {

namespace {

void writeFile(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

// The stand-in's own control entry: present only if the stand-in, not the real libusb, was
// loaded.
bool resetStandIn() {
    using Reset = void (*)();
    auto reset = reinterpret_cast<Reset>(dlsym(RTLD_DEFAULT, "pxr7usbsim_reset"));
    if (reset == nullptr) {
        std::fprintf(stderr, "the simulated FT232R is not on LD_LIBRARY_PATH\n");
        return false;
    }
    reset();
    return true;
}

} // namespace

UsbSimRig::UsbSimRig(const std::string& scenarioText) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/pxr7-usbsim-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        return;
    }
    folder_ = pattern;
    writeFile(path("scenario.txt"), scenarioText);
    writeFile(path("trace.txt"), "");
    setenv("PXR7_SIM_SCENARIO", path("scenario.txt").c_str(), 1);
    setenv("PXR7_SIM_TRACE", path("trace.txt").c_str(), 1);
    ready_ = resetStandIn() && pxr7::loadLibftdiBackend();
}

UsbSimRig::~UsbSimRig() {
    unsetenv("PXR7_SIM_SCENARIO");
    unsetenv("PXR7_SIM_TRACE");
    unsetenv("PXR7_USB_SIM_RESET");
    resetStandIn();
    if (!folder_.empty() && std::getenv("PXR7_KEEP_SIM_FILES") == nullptr) {
        for (const char* name : {"scenario.txt", "trace.txt", "capture.bin", "state.txt"}) {
            std::remove(path(name).c_str());
        }
        rmdir(folder_.c_str());
    }
}

void UsbSimRig::restart() {
    resetStandIn();
}

std::vector<std::string> UsbSimRig::trace() const {
    std::vector<std::string> lines;
    std::ifstream in(path("trace.txt"));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

void UsbSimRig::clearTrace() {
    writeFile(path("trace.txt"), "");
}

std::vector<std::string> linesWith(const std::vector<std::string>& lines, const std::string& key,
                                   const std::string& value) {
    std::vector<std::string> selected;
    for (const std::string& line : lines) {
        if (simrig::valueOf(line, key) == value) {
            selected.push_back(line);
        }
    }
    return selected;
}

} // namespace usbrig
