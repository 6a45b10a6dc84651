// A 32-bit top-down bitmap selected into a memory device context: something to draw into
// and read back pixel by pixel.
#pragma once

#include <windows.h>

#include <cstdint>

class PixelCanvas {
public:
    PixelCanvas(int width, int height);
    ~PixelCanvas();
    PixelCanvas(const PixelCanvas&) = delete;
    PixelCanvas& operator=(const PixelCanvas&) = delete;

    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // The pixel at (x, y) as 0x00RRGGBB, once pending drawing has reached the bitmap.
    std::uint32_t at(int x, int y) const;
    // Sets every pixel to one 0x00RRGGBB value.
    void fill(std::uint32_t rgb);

private:
    int width_;
    int height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ previous_;
    std::uint32_t* bits_;
};
