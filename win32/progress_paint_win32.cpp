#include "progress_paint_win32.h"

#include "upgrade.h"

namespace pxr7 {

void paintProgress(HDC dc, const UpgradeProgress& progress) {
    if (!progress.active) {
        SelectObject(dc, GetStockObject(WHITE_PEN));
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        Rectangle(dc, kProgressBarLeft, kProgressBarTop, kProgressBarRight, kProgressBarBottom);
        return;
    }
    const int filled = progressFillWidth(progress, kProgressBarRight - kProgressBarLeft);
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, kProgressBarLeft, kProgressBarTop, kProgressBarLeft + filled, kProgressBarBottom);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    SelectObject(dc, GetStockObject(BLACK_PEN));
    Rectangle(dc, kProgressBarLeft, kProgressBarTop, kProgressBarRight, kProgressBarBottom);
}

} // namespace pxr7
