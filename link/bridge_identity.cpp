#include "bridge_identity.h"

#include "bridge_library.h"
#include "eeprom_rules.h"

#include <cctype>
#include <cstring>

namespace pxr7 {

namespace {

constexpr std::size_t kSerialBufferSize = 16;
// FT_GetDeviceInfoDetail's flag for a bridge some process has open (FT_FLAGS_OPENED).
constexpr std::uint32_t kDeviceFlagOpened = 1;
constexpr std::size_t kInfoDescriptionBufferSize = 64;
// A count beyond any real USB tree is a misbehaving library; walking it would hang the UI.
constexpr std::uint32_t kMaxBridges = 128;

std::string boundedText(const char* buffer, std::size_t size) {
    return std::string(buffer, strnlen(buffer, size));
}

} // namespace

bool sameDescription(const std::string& text, const char* wanted) {
    std::size_t length = text.size();
    while (length > 0 && text[length - 1] == ' ') {
        --length;
    }
    if (length != std::strlen(wanted)) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        const auto a = static_cast<unsigned char>(text[i]);
        const auto b = static_cast<unsigned char>(wanted[i]);
        if (std::tolower(a) != std::tolower(b)) {
            return false;
        }
    }
    return true;
}

bool isMeterLead(const BridgeIdentity& bridge) {
    return bridge.type == FT_DEVICE_232R && bridge.id == kMeterLeadDeviceId &&
           (sameDescription(bridge.description, kRequiredBridgeDescription) ||
            sameDescription(bridge.description, kFactoryBridgeDescription));
}

bool serialTellsApart(const BridgeIdentity& bridge) {
    return !bridge.serialNumber.empty() && !bridge.serialShared;
}

bool sameIdentity(const BridgeIdentity& expected, const BridgeIdentity& found) {
    return found.type == expected.type && found.id == expected.id &&
           found.serialNumber == expected.serialNumber && found.description == expected.description;
}

FT_STATUS readBridgeIdentity(FT_HANDLE handle, BridgeIdentity& identity) {
    FT_DEVICE type = 0;
    std::uint32_t id = 0;
    char serial[kSerialBufferSize] = {};
    char description[kInfoDescriptionBufferSize] = {};
    const FT_STATUS status =
        d2xx().FT_GetDeviceInfo(handle, &type, &id, serial, description, nullptr);
    identity.type = type;
    identity.id = id;
    identity.serialNumber = boundedText(serial, sizeof serial);
    identity.description = boundedText(description, sizeof description);
    return status;
}

bool probeBridge(int index, BridgeIdentity& identity) {
    FT_HANDLE probe = nullptr;
    // A library that opens without a handle has not opened anything.
    if (d2xx().FT_Open(index, &probe) != FT_OK || probe == nullptr) {
        return false;
    }
    identity = BridgeIdentity{};
    identity.index = index;
    const FT_STATUS status = readBridgeIdentity(probe, identity);
    d2xx().FT_Close(probe);
    return status == FT_OK;
}

std::uint32_t countBridges() {
    std::uint32_t count = 0;
    if (d2xx().FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK) {
        return 0;
    }
    return count < kMaxBridges ? count : kMaxBridges;
}

namespace {

// What the driver's device list says of bridge index: its flags and location. False where the
// driver has no such list or no such bridge.
bool listedDetail(int index, std::uint32_t& flags, std::uint32_t& location) {
    std::uint32_t count = 0;
    if (!bridgeHasLocations() || index < 0 || d2xx().FT_CreateDeviceInfoList(&count) != FT_OK ||
        static_cast<std::uint32_t>(index) >= count) {
        return false;
    }
    std::uint32_t type = 0;
    std::uint32_t id = 0;
    char serial[kSerialBufferSize] = {};
    char description[kInfoDescriptionBufferSize] = {};
    FT_HANDLE handle = nullptr;
    return d2xx().FT_GetDeviceInfoDetail(static_cast<std::uint32_t>(index), &flags, &type, &id,
                                         &location, serial, description, &handle) == FT_OK;
}

} // namespace

std::optional<std::uint32_t> readBridgeLocation(int index) {
    std::uint32_t flags = 0;
    std::uint32_t location = 0;
    return listedDetail(index, flags, location) ? std::optional<std::uint32_t>(location)
                                                : std::nullopt;
}

bool bridgeShownOpen(int index) {
    std::uint32_t flags = 0;
    std::uint32_t location = 0;
    return listedDetail(index, flags, location) && (flags & kDeviceFlagOpened) != 0;
}

int findBridgeBySerial(const std::string& serialNumber) {
    const std::uint32_t bridges = countBridges();
    for (std::uint32_t i = 0; i < bridges; ++i) {
        BridgeIdentity identity;
        if (probeBridge(static_cast<int>(i), identity) && isMeterLead(identity) &&
            identity.serialNumber == serialNumber) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace pxr7
