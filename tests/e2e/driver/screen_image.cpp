#include "screen_image.h"

#include "pixel_canvas.h"

#include <cstdio>
#include <cstring>

bool ScreenImage::contains(int screenX, int screenY) const {
    return screenX >= left && screenY >= top && screenX < left + width && screenY < top + height;
}

std::uint32_t ScreenImage::at(int screenX, int screenY) const {
    if (!contains(screenX, screenY)) {
        return 0xFFFFFFFFu;
    }
    return pixels[static_cast<std::size_t>(screenY - top) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(screenX - left)];
}

ScreenImage captureScreen(RECT area) {
    ScreenImage image;
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (area.left < 0) {
        area.left = 0;
    }
    if (area.top < 0) {
        area.top = 0;
    }
    if (area.right > screenWidth) {
        area.right = screenWidth;
    }
    if (area.bottom > screenHeight) {
        area.bottom = screenHeight;
    }
    if (area.right <= area.left || area.bottom <= area.top) {
        return image;
    }
    image.left = area.left;
    image.top = area.top;
    image.width = area.right - area.left;
    image.height = area.bottom - area.top;

    PixelCanvas canvas(image.width, image.height);
    HDC screen = GetDC(nullptr);
    BitBlt(canvas.dc(), 0, 0, image.width, image.height, screen, image.left, image.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    image.pixels.reserve(static_cast<std::size_t>(image.width) * image.height);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            image.pixels.push_back(canvas.at(x, y));
        }
    }
    return image;
}

bool saveBmp(const ScreenImage& image, const std::string& path) {
    if (image.width <= 0 || image.height <= 0) {
        return false;
    }
    const std::uint32_t stride = (static_cast<std::uint32_t>(image.width) * 3 + 3) & ~3u;
    const std::uint32_t bitsSize = stride * static_cast<std::uint32_t>(image.height);
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + bitsSize;
    header.biSize = sizeof header;
    header.biWidth = image.width;
    header.biHeight = image.height; // bottom-up
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = bitsSize;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&header, sizeof header, 1, out);
    std::vector<unsigned char> row(stride, 0);
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t pixel = image.pixels[static_cast<std::size_t>(y) * image.width + x];
            row[x * 3 + 0] = static_cast<unsigned char>(pixel & 0xFF);
            row[x * 3 + 1] = static_cast<unsigned char>((pixel >> 8) & 0xFF);
            row[x * 3 + 2] = static_cast<unsigned char>((pixel >> 16) & 0xFF);
        }
        std::fwrite(row.data(), 1, row.size(), out);
    }
    return std::fclose(out) == 0;
}

std::string colourText(std::uint32_t rgb) {
    char text[16];
    std::snprintf(text, sizeof text, "#%06x", static_cast<unsigned>(rgb & 0xFFFFFFu));
    return text;
}
