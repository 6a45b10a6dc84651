// Dialog 110, About: the version line and the product picture (bitmap 249).
#include "dialogs_win32.h"

#include "dialog_support_win32.h"
#include "message_catalogue.h"
#include "program_version.h"
#include "resource.h"

namespace pxr7 {

namespace {

struct AboutData {
    int captionMessage; // message index of the caption
    int pictureId;      // bitmap resource drawn under the text
    int pictureTop;     // client y of the picture's top edge
};

constexpr int kPictureTop = 58;

INT_PTR onInitDialog(HWND dialog, AboutData* data) {
    storeDialogData(dialog, data);
    setDialogCaptionFromMessage(dialog, data->captionMessage);
    char line[64];
    formatProgramVersion(line, sizeof line);
    SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, line);
    return FALSE; // the keyboard focus is left where the dialog manager puts it
}

// Copies the picture unscaled, centred across the client area.
void paintPicture(HDC dc, HWND dialog, const AboutData& data) {
    HBITMAP picture = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(data.pictureId));
    if (picture == nullptr) {
        return; // a missing picture leaves the area blank
    }
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, picture);
    BITMAP size{};
    GetObjectA(picture, sizeof size, &size);
    RECT client{};
    GetClientRect(dialog, &client);
    const int x = (static_cast<int>(client.right) - static_cast<int>(size.bmWidth)) / 2;
    BitBlt(dc, x, data.pictureTop, size.bmWidth, size.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(picture);
}

INT_PTR onPaint(HWND dialog) {
    const AboutData* data = static_cast<const AboutData*>(storedDialogData(dialog));
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    if (data != nullptr) {
        paintPicture(dc, dialog, *data);
    }
    EndPaint(dialog, &paint);
    return TRUE;
}

INT_PTR CALLBACK aboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog, reinterpret_cast<AboutData*>(lParam));
    case WM_PAINT:
        return onPaint(dialog);
    case WM_COMMAND:
        return endDialogOnCloseCommand(dialog, LOWORD(wParam));
    default:
        return FALSE;
    }
}

} // namespace

int runAbout(HWND owner) {
    AboutData data{MSG_ABOUT_TITLE, IDB_ABOUT_PICTURE, kPictureTop};
    return static_cast<int>(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT),
                                            owner, aboutProc, reinterpret_cast<LPARAM>(&data)));
}

} // namespace pxr7
