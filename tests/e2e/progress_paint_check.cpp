// Renders the main window's progress bar into a memory bitmap and checks its pixels: the
// blanked bar when idle, the outline from 10 to 215 and the fill that ends at
// 10 + progress x 205 / recordCount. Runs under Wine (or Windows); prints PASS/FAIL lines.
#include "pixel_canvas.h"
#include "progress_paint_win32.h"
#include "upgrade.h"

using namespace pxr7;

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr int kWidth = 230;
constexpr int kHeight = 60;
constexpr std::uint32_t kUntouched = 0x808080; // what the test paints before the bar
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;
constexpr int kMiddle = 25;

class Canvas {
public:
    Canvas() : pixels_(kWidth, kHeight) { pixels_.fill(kUntouched); }

    HDC dc() const { return pixels_.dc(); }
    std::uint32_t at(int x, int y) const { return pixels_.at(x, y); }
    // The last pixel of the middle row, right of the outline's left edge, that is black.
    int lastFilled() const {
        int last = -1;
        for (int x = 11; x < 214; ++x) {
            if (at(x, kMiddle) == kBlack) {
                last = x;
            }
        }
        return last;
    }

private:
    PixelCanvas pixels_;
};

int g_failures = 0;
int g_passes = 0;

void check(bool condition, const std::string& what) {
    if (condition) {
        ++g_passes;
        std::printf("PASS %s\n", what.c_str());
    } else {
        ++g_failures;
        std::printf("FAIL %s\n", what.c_str());
    }
}

UpgradeProgress activeUpgrade(int done, int total) {
    return UpgradeProgress{done, total, true};
}

bool outlineIsWhole(const Canvas& canvas) {
    for (int y = 15; y <= 34; ++y) {
        if (canvas.at(10, y) != kBlack || canvas.at(214, y) != kBlack) {
            return false;
        }
    }
    for (int x = 10; x <= 214; ++x) {
        if (canvas.at(x, 15) != kBlack || canvas.at(x, 34) != kBlack) {
            return false;
        }
    }
    return canvas.at(215, kMiddle) == kUntouched && canvas.at(9, kMiddle) == kUntouched &&
           canvas.at(100, 14) == kUntouched && canvas.at(100, 35) == kUntouched;
}

void idleBarIsBlank() {
    Canvas canvas;
    const UpgradeProgress idle{157, 314, false};
    paintProgress(canvas.dc(), idle);
    bool white = true;
    for (int y = 15; y < 35; ++y) {
        for (int x = 10; x < 215; ++x) {
            white = white && canvas.at(x, y) == kWhite;
        }
    }
    check(white, "idle: the bar area 10..214 x 15..34 is painted white");
    check(canvas.at(9, kMiddle) == kUntouched && canvas.at(215, kMiddle) == kUntouched &&
              canvas.at(100, 14) == kUntouched && canvas.at(100, 35) == kUntouched,
          "idle: nothing outside the bar area is painted");
}

// Rectangle() leaves out its right and bottom edges, and with the null pen one pixel more, so the
// fill drawn to x = 10 + w covers pixels 10 .. 10 + w - 2; the outline then covers x = 10.
void halfwayFillEndsAt112() {
    Canvas canvas;
    const UpgradeProgress upgrade = activeUpgrade(157, 314);
    check(progressFillWidth(upgrade, 205) == 102, "157 of 314: fill width 102, right edge 112");
    paintProgress(canvas.dc(), upgrade);
    const int last = canvas.lastFilled();
    check(last == 110, "157 of 314: the fill drawn to x = 112 ends with pixel 110 (found " +
                           std::to_string(last) + ")");
    check(canvas.at(111, kMiddle) == kUntouched && canvas.at(112, kMiddle) == kUntouched,
          "157 of 314: pixels 111 and 112 are not filled");
    bool filledRows = true;
    for (int y = 16; y <= 33; ++y) {
        filledRows = filledRows && canvas.at(50, y) == kBlack;
    }
    check(filledRows, "157 of 314: the fill spans the bar's height");
    check(outlineIsWhole(canvas), "157 of 314: the outline spans 10..214 x 15..34 only");
}

void startShowsOutlineOnly() {
    Canvas canvas;
    paintProgress(canvas.dc(), activeUpgrade(0, 314));
    check(canvas.lastFilled() == -1 && canvas.at(11, kMiddle) == kUntouched,
          "0 of 314: no fill inside the outline");
    check(outlineIsWhole(canvas), "0 of 314: the outline is drawn");
}

void completeFillsTheBar() {
    Canvas canvas;
    paintProgress(canvas.dc(), activeUpgrade(314, 314));
    check(canvas.lastFilled() >= 212, "314 of 314: the fill reaches the outline's right edge");
    check(outlineIsWhole(canvas), "314 of 314: the outline stays within 10..214");
}

void emptyImageDrawsNoFill() {
    Canvas canvas;
    paintProgress(canvas.dc(), activeUpgrade(0, 0));
    check(canvas.lastFilled() == -1 && outlineIsWhole(canvas),
          "no records: outline only, no division by zero");
}

} // namespace

int main() {
    idleBarIsBlank();
    halfwayFillEndsAt112();
    startShowsOutlineOnly();
    completeFillsTheBar();
    emptyImageDrawsNoFill();
    std::printf("%d passed, %d failed\n", g_passes, g_failures);
    return g_failures == 0 ? 0 : 1;
}
