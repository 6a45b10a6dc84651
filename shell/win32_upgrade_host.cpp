#include "win32_upgrade_host.h"

using namespace pxr7;

void Win32UpgradeHost::setTimer(int timerId, unsigned periodMs) {
    SetTimer(window_, static_cast<UINT_PTR>(timerId), periodMs, nullptr);
}

void Win32UpgradeHost::killTimer(int timerId) {
    KillTimer(window_, static_cast<UINT_PTR>(timerId));
}

void Win32UpgradeHost::invalidate(bool erase) {
    InvalidateRect(window_, nullptr, erase ? TRUE : FALSE);
}

void Win32UpgradeHost::showMessage(int index, MessageKind kind) {
    ::showMessage(index, kind);
}

ImageLookup Win32UpgradeHost::findImage(std::uint32_t resourceId, const std::uint8_t** data,
                                        std::uint32_t* size) {
    return findEmbeddedImage(resourceId, data, size);
}
