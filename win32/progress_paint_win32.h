// The main window's client area: the upgrade's progress bar, drawn with stock objects only.
#pragma once

#include "upgrade_host.h"

#include <windows.h>

namespace pxr7 {

// The bar in client pixels: the outline spans left..right, the fill starts at left.
constexpr int kProgressBarLeft = 10;
constexpr int kProgressBarTop = 15;
constexpr int kProgressBarRight = 215;
constexpr int kProgressBarBottom = 35;

// Not active: blanks the bar area white. Active: the filled part (black, no outline) up to
// left + done x width / total, then the black outline of the whole bar. Leaves stock objects
// selected in dc, so there is nothing to delete.
void paintProgress(HDC dc, const UpgradeProgress& progress);

} // namespace pxr7
