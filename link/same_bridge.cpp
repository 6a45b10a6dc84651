#include "same_bridge.h"

#include "bridge_library.h"

#include <vector>

namespace pxr7 {

namespace {

bool looksLike(const BridgeIdentity& original, const BridgeIdentity& found) {
    return isMeterLead(found) && found.type == original.type && found.id == original.id &&
           found.serialNumber == original.serialNumber;
}

FindResult resultOf(const std::vector<int>& matches) {
    FindResult result;
    if (matches.size() == 1) {
        result.outcome = FindOutcome::Found;
        result.index = matches.front();
    } else if (matches.size() > 1) {
        result.outcome = FindOutcome::Ambiguous;
    }
    return result;
}

} // namespace

FindResult findSameBridge(const BridgeIdentity& original) {
    std::vector<int> alike;
    const std::uint32_t bridges = countBridges();
    bool maybeHeld = false;
    for (std::uint32_t i = 0; i < bridges; ++i) {
        BridgeIdentity found;
        const int index = static_cast<int>(i);
        if (!probeBridge(index, found)) {
            maybeHeld =
                maybeHeld || !original.location || readBridgeLocation(index) == original.location;
        } else if (looksLike(original, found)) {
            alike.push_back(index);
        }
    }
    if (serialTellsApart(original)) {
        FindResult result = resultOf(alike);
        result.maybeHeld = maybeHeld;
        return result;
    }
    if (!original.location) {
        FindResult result;
        result.outcome = alike.empty() ? FindOutcome::NotFound : FindOutcome::Ambiguous;
        result.maybeHeld = maybeHeld;
        return result;
    }
    std::vector<int> there;
    for (const int index : alike) {
        if (readBridgeLocation(index) == original.location) {
            there.push_back(index);
        }
    }
    FindResult result = resultOf(there);
    result.maybeHeld = maybeHeld;
    return result;
}

OpenCheck openSameBridge(DevicePort& port, const BridgeIdentity& expected, std::uint32_t baud) {
    if (port.open(expected.index) != FT_OK) {
        return port.lastStatus == FT_DEVICE_NOT_FOUND ? OpenCheck::Gone : OpenCheck::Busy;
    }
    BridgeIdentity found;
    const bool same =
        port.readIdentity(found) == FT_OK && sameIdentity(expected, found) &&
        (!expected.location || readBridgeLocation(expected.index) == expected.location);
    if (!same) {
        port.close();
        return OpenCheck::NotTheSame;
    }
    if (baud == kLookOnly) {
        return OpenCheck::Opened;
    }
    if (port.configure(baud, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE) != FT_OK) {
        return OpenCheck::Busy;
    }
    return OpenCheck::Opened;
}

} // namespace pxr7
