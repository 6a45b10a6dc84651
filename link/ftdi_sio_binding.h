// Which FT232R bridges the kernel's serial driver ftdi_sio holds, as sysfs shows them
// (/sys/bus/usb/drivers/ftdi_sio). FTDI's own library cannot open such a bridge; libftdi1 can
// take it over for as long as it needs it. PXR7_SYSFS_ROOT, if set, stands in for /sys.
#pragma once

#include <string>
#include <vector>

namespace pxr7 {

// The USB interfaces ("1-2:1.0") of FT232R bridges (0403:6001) bound to ftdi_sio now, in name
// order; empty where there is no sysfs (not Linux) or nothing is bound.
std::vector<std::string> ftdiSioHeldBridges();

// The line that hands one such interface back from ftdi_sio until the bridge is replugged.
std::string ftdiSioUnbindLine(const std::string& interfaceName);

} // namespace pxr7
