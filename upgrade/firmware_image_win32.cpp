#include "firmware_image_locate.h"

#include <windows.h>

namespace pxr7 {

ImageLookup locateEmbeddedImage(std::uint32_t resourceId, const std::uint8_t** data,
                                std::uint32_t* size) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(resourceId), MAKEINTRESOURCEA(10));
    if (resource == nullptr) {
        return ImageLookup::NotFound;
    }
    DWORD bytes = SizeofResource(module, resource);
    if (bytes == 0) {
        return ImageLookup::SizeUnknown;
    }
    HGLOBAL loaded = LoadResource(module, resource);
    if (loaded == nullptr) {
        return ImageLookup::CannotLoad;
    }
    const void* locked = LockResource(loaded);
    if (locked == nullptr) {
        return ImageLookup::CannotLock;
    }
    *data = static_cast<const std::uint8_t*>(locked);
    *size = bytes;
    return ImageLookup::Found;
}

} // namespace pxr7
