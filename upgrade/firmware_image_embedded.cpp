// The image linked into the binary on platforms without resources. The build names the file
// in PXR7_FIRMWARE_IMAGE_PATH; the assembler copies its bytes in verbatim.
#include "firmware_image_locate.h"

#ifndef PXR7_FIRMWARE_IMAGE_PATH
#error "the build must name the firmware image in PXR7_FIRMWARE_IMAGE_PATH"
#endif

#if defined(__APPLE__)
#define PXR7_SYMBOL(name) "_" #name
#define PXR7_RODATA_SECTION ".const"
#else
#define PXR7_SYMBOL(name) #name
#define PXR7_RODATA_SECTION ".section .rodata"
#endif

// clang-format off
__asm__(PXR7_RODATA_SECTION "\n"
        ".balign 16\n"
        ".globl " PXR7_SYMBOL(pxr7EmbeddedImageStart) "\n"
        PXR7_SYMBOL(pxr7EmbeddedImageStart) ":\n"
        ".incbin \"" PXR7_FIRMWARE_IMAGE_PATH "\"\n"
        ".globl " PXR7_SYMBOL(pxr7EmbeddedImageEnd) "\n"
        PXR7_SYMBOL(pxr7EmbeddedImageEnd) ":\n"
        ".byte 0\n"
        ".text\n");
// clang-format on

extern "C" const std::uint8_t pxr7EmbeddedImageStart[];
extern "C" const std::uint8_t pxr7EmbeddedImageEnd[];

namespace pxr7 {

ImageLookup locateEmbeddedImage(std::uint32_t resourceId, const std::uint8_t** data,
                                std::uint32_t* size) {
    if (resourceId != IMAGE_RESOURCE_ID) {
        return ImageLookup::NotFound;
    }
    const auto bytes = static_cast<std::uint32_t>(pxr7EmbeddedImageEnd - pxr7EmbeddedImageStart);
    if (bytes == 0) {
        return ImageLookup::SizeUnknown;
    }
    *data = pxr7EmbeddedImageStart;
    *size = bytes;
    return ImageLookup::Found;
}

} // namespace pxr7
