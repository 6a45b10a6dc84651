#include "firmware_image_check.h"

#include "firmware_image_locate.h"
#include "sha256.h"

#ifndef PXR7_FIRMWARE_SHA256
#error "the build must give the image's SHA-256 in PXR7_FIRMWARE_SHA256"
#endif

namespace pxr7 {

const char* builtImageDigest() {
    return PXR7_FIRMWARE_SHA256;
}

ImageLookup ImageCheck::outcome() const {
    if (lookup != ImageLookup::Found) {
        return lookup;
    }
    return matches ? ImageLookup::Found : ImageLookup::Altered;
}

ImageCheck checkImage(ImageLookup lookup, const std::uint8_t* data, std::uint32_t size,
                      const std::string& expectedDigest) {
    ImageCheck check;
    check.lookup = lookup;
    if (lookup == ImageLookup::Found) {
        check.data = data;
        check.size = size;
        check.digest = sha256Hex(data, size);
        check.matches = check.digest == expectedDigest;
    }
    return check;
}

const ImageCheck& embeddedImageCheck() {
    // A function-local static: computed once, safely, whichever thread asks first.
    static const ImageCheck check = [] {
        const std::uint8_t* data = nullptr;
        std::uint32_t size = 0;
        const ImageLookup lookup = locateEmbeddedImage(IMAGE_RESOURCE_ID, &data, &size);
        return checkImage(lookup, data, size, builtImageDigest());
    }();
    return check;
}

ImageLookup findEmbeddedImage(std::uint32_t resourceId, const std::uint8_t** data,
                              std::uint32_t* size) {
    // The build recorded a digest for one image only; there is no other to send.
    if (resourceId != IMAGE_RESOURCE_ID) {
        return ImageLookup::NotFound;
    }
    const ImageCheck& check = embeddedImageCheck();
    const ImageLookup outcome = check.outcome();
    if (outcome == ImageLookup::Found) {
        *data = check.data;
        *size = check.size;
    }
    return outcome;
}

} // namespace pxr7
