#include "window_queries.h"

#include "pixel_canvas.h"
#include "screen_image.h"

#include <cstdlib>

namespace {

constexpr UINT kMessageTimeoutMs = 2000;

LRESULT sendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                            &result) == 0) {
        return -1;
    }
    return static_cast<LRESULT>(result);
}

struct ProcessWindows {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK collectTopLevel(HWND window, LPARAM context) {
    ProcessWindows* found = reinterpret_cast<ProcessWindows*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == found->processId && IsWindowVisible(window)) {
        found->windows.push_back(window);
    }
    return TRUE;
}

struct IconSearch {
    HWND icon = nullptr;
};

BOOL CALLBACK findIconStatic(HWND child, LPARAM context) {
    IconSearch* search = reinterpret_cast<IconSearch*>(context);
    if (className(child) == "Static" && (windowStyle(child) & SS_TYPEMASK) == SS_ICON) {
        search->icon = child;
        return FALSE;
    }
    return TRUE;
}

// Sum of per-channel differences between the box's icon and a system icon drawn over the
// same background at the same size.
long long iconDistance(const ScreenImage& shown, LPCSTR systemIcon, std::uint32_t background) {
    const int width = shown.width;
    const int height = shown.height;
    PixelCanvas canvas(width, height);
    canvas.fill(background);
    DrawIconEx(canvas.dc(), 0, 0, LoadIconA(nullptr, systemIcon), 0, 0, 0, nullptr, DI_NORMAL);
    long long distance = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t a =
                shown.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                             static_cast<std::size_t>(x)];
            const std::uint32_t b = canvas.at(x, y);
            for (int shift = 0; shift <= 16; shift += 8) {
                distance += std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                     static_cast<int>((b >> shift) & 0xFF));
            }
        }
    }
    return distance;
}

} // namespace

std::string windowText(HWND window) {
    char text[1024] = {};
    const LRESULT length =
        sendWithTimeout(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    if (length < 0) {
        return "<no answer>";
    }
    return text;
}

std::string className(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string controlText(HWND dialog, int controlId) {
    HWND control = GetDlgItem(dialog, controlId);
    return control != nullptr ? windowText(control) : "<no control>";
}

std::vector<std::string> listBoxLines(HWND list) {
    // The wide messages: Wine hands an ANSI caller another process's list-box text in the
    // list's own (wide) form.
    std::vector<std::string> lines;
    const LRESULT count = sendWithTimeout(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t line[512] = {};
        DWORD_PTR length = 0;
        if (SendMessageTimeoutW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0, SMTO_ABORTIFHUNG,
                                kMessageTimeoutMs, &length) == 0 ||
            length >= sizeof line / sizeof line[0]) {
            lines.push_back("<unreadable>");
            continue;
        }
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(list, LB_GETTEXT, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(line), SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                            &ignored);
        char narrow[1024] = {};
        WideCharToMultiByte(CP_ACP, 0, line, -1, narrow, sizeof narrow, nullptr, nullptr);
        lines.push_back(narrow);
    }
    return lines;
}

LONG windowStyle(HWND window) {
    return GetWindowLongA(window, GWL_STYLE);
}

std::vector<HWND> visibleTopLevelWindows(DWORD processId) {
    ProcessWindows found{processId, {}};
    EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&found));
    return found.windows;
}

std::vector<HWND> visibleDialogs(DWORD processId) {
    std::vector<HWND> dialogs;
    for (HWND window : visibleTopLevelWindows(processId)) {
        if (className(window) == "#32770") {
            dialogs.push_back(window);
        }
    }
    return dialogs;
}

std::string messageBoxText(HWND box) {
    HWND text = GetDlgItem(box, 0xFFFF);
    return text != nullptr ? windowText(text) : "";
}

HWND messageBoxIcon(HWND box) {
    IconSearch search;
    EnumChildWindows(box, findIconStatic, reinterpret_cast<LPARAM>(&search));
    return search.icon;
}

const char* boxIconName(BoxIcon icon) {
    switch (icon) {
    case BoxIcon::Information:
        return "information";
    case BoxIcon::Stop:
        return "stop";
    case BoxIcon::Unknown:
        break;
    }
    return "unknown";
}

BoxIcon identifyBoxIcon(HWND box) {
    HWND icon = messageBoxIcon(box);
    if (icon == nullptr) {
        return BoxIcon::Unknown;
    }
    RECT area{};
    GetWindowRect(icon, &area);
    const int size = GetSystemMetrics(SM_CXICON);
    area.right = area.left + size;
    area.bottom = area.top + GetSystemMetrics(SM_CYICON);
    const ScreenImage shown = captureScreen(area);
    if (shown.width != size) {
        return BoxIcon::Unknown;
    }
    // The box's own background, just left of the icon control.
    RECT beside{area.left - 2, area.top, area.left - 1, area.top + 1};
    const ScreenImage backgroundPixel = captureScreen(beside);
    const std::uint32_t background =
        backgroundPixel.pixels.empty() ? 0xF0F0F0u : backgroundPixel.pixels.front();
    const long long information = iconDistance(shown, IDI_INFORMATION, background);
    const long long stop = iconDistance(shown, IDI_HAND, background);
    if (information == stop) {
        return BoxIcon::Unknown;
    }
    return information < stop ? BoxIcon::Information : BoxIcon::Stop;
}

RECT clientRectOnScreen(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    OffsetRect(&client, origin.x, origin.y);
    return client;
}
