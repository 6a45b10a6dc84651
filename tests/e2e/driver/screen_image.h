// Pixels read back from the screen, the way the user sees them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct ScreenImage {
    int left = 0; // screen position of pixel (0, 0)
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0x00RRGGBB, top row first

    bool contains(int screenX, int screenY) const;
    // The pixel at a screen position; 0xFFFFFFFF outside the image.
    std::uint32_t at(int screenX, int screenY) const;
};

// Copies a rectangle of the screen (clipped to the screen).
ScreenImage captureScreen(RECT area);

// Writes the image as a 24-bit BMP file.
bool saveBmp(const ScreenImage& image, const std::string& path);

// 0x00RRGGBB as "#rrggbb" for failure messages.
std::string colourText(std::uint32_t rgb);
