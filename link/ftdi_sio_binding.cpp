#include "ftdi_sio_binding.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace pxr7 {

namespace {

namespace fs = std::filesystem;

fs::path sysfsRoot() {
    const char* root = std::getenv("PXR7_SYSFS_ROOT");
    return root != nullptr && *root != '\0' ? fs::path(root) : fs::path("/sys");
}

std::string firstWord(const fs::path& file) {
    std::ifstream in(file);
    std::string word;
    in >> word;
    return word;
}

// "1-2:1.0" names interface 0 of device "1-2"; the driver's folder also holds bind, unbind,
// module and the like, which have no colon.
bool isFt232rInterface(const fs::path& root, const std::string& name) {
    const std::size_t colon = name.find(':');
    if (colon == std::string::npos || name.compare(colon, std::string::npos, ":1.0") != 0) {
        return false;
    }
    const fs::path device = root / "bus/usb/devices" / name.substr(0, colon);
    return firstWord(device / "idVendor") == "0403" && firstWord(device / "idProduct") == "6001";
}

} // namespace

std::vector<std::string> ftdiSioHeldBridges() {
    std::vector<std::string> held;
    const fs::path root = sysfsRoot();
    std::error_code error;
    fs::directory_iterator entries(root / "bus/usb/drivers/ftdi_sio", error);
    if (error) {
        return held;
    }
    for (const fs::directory_entry& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (isFt232rInterface(root, name)) {
            held.push_back(name);
        }
    }
    std::sort(held.begin(), held.end());
    return held;
}

std::string ftdiSioUnbindLine(const std::string& interfaceName) {
    return "echo -n " + interfaceName + " | sudo tee /sys/bus/usb/drivers/ftdi_sio/unbind";
}

} // namespace pxr7
