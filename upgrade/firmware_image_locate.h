// Where each platform keeps the image: a resource of the program's own module on Windows
// (firmware_image_win32.cpp), bytes linked into the binary elsewhere
// (firmware_image_embedded.cpp). Only the image check calls it.
#pragma once

#include "firmware_image.h"

namespace pxr7 {

// The bytes of image resourceId as the program carries them, unchecked.
ImageLookup locateEmbeddedImage(std::uint32_t resourceId, const std::uint8_t** data,
                                std::uint32_t* size);

} // namespace pxr7
