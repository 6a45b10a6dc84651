// The image the program carries, checked against the SHA-256 the build recorded when it
// embedded it: a program whose image was damaged or altered since never sends it to a meter.
#pragma once

#include "firmware_image.h"

#include <string>

namespace pxr7 {

// The SHA-256 of the image, as the build computed it: 64 lowercase hex digits.
const char* builtImageDigest();

struct ImageCheck {
    ImageLookup lookup = ImageLookup::NotFound; // how the bytes themselves were found
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    std::string digest;   // SHA-256 of the bytes, lowercase hex; "" unless found
    bool matches = false; // digest is the one expected

    // lookup, or Altered for bytes found with another digest.
    ImageLookup outcome() const;
};

// Hashes the bytes a lookup found and compares them with expectedDigest.
ImageCheck checkImage(ImageLookup lookup, const std::uint8_t* data, std::uint32_t size,
                      const std::string& expectedDigest);

// The embedded image looked up and checked against builtImageDigest() once per process, on
// first use; every later call, from any thread, gets the same answer.
const ImageCheck& embeddedImageCheck();

} // namespace pxr7
