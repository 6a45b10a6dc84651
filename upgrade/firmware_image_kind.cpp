// Which image the build embedded, as the build found it (cmake/firmware_image.cmake).
#include "firmware_image.h"

namespace pxr7 {

bool embeddedImageIsStandIn() {
#if defined(PXR7_FIRMWARE_IS_STANDIN)
    return true;
#else
    return false;
#endif
}

const char* embeddedImageVersion() {
#if defined(PXR7_FIRMWARE_VERSION)
    return PXR7_FIRMWARE_VERSION;
#else
    return "";
#endif
}

} // namespace pxr7
