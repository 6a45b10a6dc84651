// The firmware image the program carries: a resource of the program's own module on Windows,
// the same bytes linked into the binary elsewhere. The host never interprets the bytes.
#pragma once

#include "firmware_image_id.h"

#include <cstddef>
#include <cstdint>

namespace pxr7 {

constexpr std::uint32_t IMAGE_RESOURCE_ID = PXR7_IMAGE_RESOURCE_ID;
constexpr std::size_t kFirmwareRecordSize = 515;
constexpr std::size_t kWireRecordSize = kFirmwareRecordSize + 1;

enum class ImageLookup {
    Found,
    NotFound,    // no image with that identifier
    SizeUnknown, // the image is empty
    CannotLoad,
    CannotLock,
    Altered, // the bytes are not the image the program was built with (damaged or altered)
};

// Finds image resourceId and points data at its bytes, which stay valid for the whole run.
// Only an image whose SHA-256 is the one the build recorded is found (firmware_image_check.h).
ImageLookup findEmbeddedImage(std::uint32_t resourceId, const std::uint8_t** data,
                              std::uint32_t* size);

// Whether the image built in is the repository's stand-in for testing rather than meter
// firmware; the programs say so wherever a user looks.
bool embeddedImageIsStandIn();

// The firmware version the build declared for the image (-DPXR7_FIRMWARE_VERSION=...); the
// bytes themselves do not say. "" when undeclared.
const char* embeddedImageVersion();

// The wire form of a record: its 515 bytes unchanged, then their plain sum modulo 256.
void buildWireRecord(const std::uint8_t* record, std::uint8_t (&wire)[kWireRecordSize]);

} // namespace pxr7
