// What the transfer needs from the program that runs it. The Windows main window, the
// command line and the tests each provide one, so all of them drive the same procedure.
#pragma once

#include "../shell/message_catalogue.h"
#include "firmware_image.h"

#include <cstdint>

namespace pxr7 {

class DevicePort;

class UpgradeHost {
public:
    virtual ~UpgradeHost() = default;

    // Starts (or restarts) timer id with the given period; its expiries come back through
    // dispatchTransferTimer.
    virtual void setTimer(int timerId, unsigned periodMs) = 0;
    virtual void killTimer(int timerId) = 0;
    // The progress display must be redrawn; erase false redraws without blanking first.
    virtual void invalidate(bool erase) = 0;
    // Shows a message and returns once the user has seen it.
    virtual void showMessage(int index, MessageKind kind) = 0;
    // The program's one port for upgrades, or null if it could not be created.
    virtual DevicePort* port() = 0;
    // Finds the image to send; hosts normally answer with findEmbeddedImage.
    virtual ImageLookup findImage(std::uint32_t resourceId, const std::uint8_t** data,
                                  std::uint32_t* size) = 0;
};

} // namespace pxr7
