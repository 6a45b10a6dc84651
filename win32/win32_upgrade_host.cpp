#include "win32_upgrade_host.h"

#include "message_box_win32.h"
#include "outcome_messages.h"

namespace pxr7 {

void Win32UpgradeHost::setTimer(UpgradeTimer timer, unsigned periodMs) {
    SetTimer(window_, static_cast<UINT_PTR>(timer), periodMs, nullptr);
}

void Win32UpgradeHost::killTimer(UpgradeTimer timer) {
    KillTimer(window_, static_cast<UINT_PTR>(timer));
}

void Win32UpgradeHost::invalidate(const UpgradeProgress& /*progress*/, bool erase) {
    // The window paints from the upgrade itself.
    InvalidateRect(window_, nullptr, erase ? TRUE : FALSE);
}

void Win32UpgradeHost::finished(const UpgradeOutcome& outcome) {
    const OutcomeMessage message = outcomeMessageFor(outcome.result);
    if (message.index >= 0) {
        showMessageBox(message.index, message.kind, caption_);
    }
}

ImageLookup Win32UpgradeHost::findImage(std::uint32_t resourceId, const std::uint8_t** data,
                                        std::uint32_t* size) {
    return findEmbeddedImage(resourceId, data, size);
}

} // namespace pxr7
