#include "cases.h"

#include "screen_image.h"
#include "window_queries.h"

#include <cstdio>

namespace {

constexpr const char* kTitle = "Tavelin Meter - PXR7";
constexpr int kCmdAbout = 104;
constexpr int kCmdExit = 32771;
constexpr int kCmdLoad = 32780;
constexpr int kCmdUpgrade = 32795;
constexpr int kCmdVersion = 32801;
constexpr int kVersionField = 1104;
constexpr int kVersionList = 1103;
constexpr int kMeterList = 1089;
constexpr int kDeviceCount = 1092;
constexpr int kAboutVersion = 1096;
constexpr int kAboutFooter = 1093;

// The progress bar in client pixels: outline 10..214 x 15..34.
constexpr int kBarLeft = 10;
constexpr int kBarTop = 15;
constexpr int kBarRight = 215;
constexpr int kBarBottom = 35;
constexpr int kBarMiddle = 25;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;

// The first row of the About picture (bitmap 249) is this colour from edge to edge.
constexpr std::uint32_t kPictureTopRow = 0x163C78;
constexpr int kPictureWidth = 256;
constexpr int kPictureTop = 58;

constexpr DWORD kStartMs = 30000;
constexpr DWORD kDialogMs = 15000;
constexpr DWORD kUpgradeMs = 120000;
constexpr DWORD kLeadBackMs = 1500; // a reprogrammed lead is back on the bus by then
constexpr DWORD kExitMs = 10000;

#define REQUIRE(condition, ...)                                                                    \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            return context.session.fail(__VA_ARGS__);                                              \
        }                                                                                          \
    } while (0)

#define REQUIRE_OK(step)                                                                           \
    do {                                                                                           \
        if (!(step)) {                                                                             \
            return false;                                                                          \
        }                                                                                          \
    } while (0)

void command(HWND window, int id) {
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

// Presses a dialog's button the way a click does: the notification reaches the dialog.
void pressButton(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The main window's client area as the user sees it.
struct BarView {
    ScreenImage image;
    RECT client{};
    std::uint32_t at(int x, int y) const { return image.at(client.left + x, client.top + y); }
    // Filled pixels along the bar's middle row, counted from its left edge inward.
    int filledWidth() const {
        int x = kBarLeft + 1;
        while (x < kBarRight - 1 && at(x, kBarMiddle) == kBlack) {
            ++x;
        }
        return x - (kBarLeft + 1);
    }
    bool blank() const {
        for (int y = kBarTop; y < kBarBottom; ++y) {
            for (int x = kBarLeft; x < kBarRight; ++x) {
                if (at(x, y) != kWhite) {
                    return false;
                }
            }
        }
        return true;
    }
};

BarView readBar(HWND main) {
    BarView view;
    view.client = clientRectOnScreen(main);
    view.image = captureScreen(view.client);
    return view;
}

// A message box of the program: caption, text, icon, no owner, task-modal.
bool checkBox(CaseContext& context, HWND box, HWND main, BoxIcon icon) {
    REQUIRE(windowText(box) == kTitle, "box caption \"%s\"", windowText(box).c_str());
    REQUIRE(GetWindow(box, GW_OWNER) == nullptr, "the box has an owner window");
    if (main != nullptr) {
        REQUIRE(!IsWindowEnabled(main), "the main window stays enabled under a task-modal box");
    }
    const BoxIcon shown = identifyBoxIcon(box);
    REQUIRE(shown == icon, "box \"%s\" shows the %s icon, expected %s", messageBoxText(box).c_str(),
            boxIconName(shown), boxIconName(icon));
    return true;
}

bool dismissBox(CaseContext& context, HWND box) {
    pressButton(box, IDOK);
    return context.session.waitGone(box, kDialogMs);
}

bool exitThroughMenu(CaseContext& context, HWND main) {
    command(main, kCmdExit);
    return context.session.waitForExit(kExitMs, 0);
}

bool bringToFront(HWND window) {
    SetForegroundWindow(window);
    SetActiveWindow(window);
    Sleep(200);
    return GetForegroundWindow() == window;
}

// Opens the Upgrade Warning through the menu bar's "&Upgrade" (Alt+U).
HWND openUpgradeWarning(CaseContext& context, HWND main) {
    bringToFront(main);
    context.session.pressChord({VK_MENU}, 'U');
    return context.session.waitForDialog("Upgrade Warning!", nullptr, kDialogMs);
}

bool confirmUpgrade(CaseContext& context, HWND warning) {
    REQUIRE(IsWindowEnabled(GetDlgItem(warning, IDOK)), "\"Upgrade Now\" is disabled");
    pressButton(warning, IDOK);
    return context.session.waitGone(warning, kDialogMs);
}

// ---- Cases ----

bool checkMenuDirectly(CaseContext& context, HMENU bar) {
    char text[64];
    REQUIRE(GetMenuItemCount(bar) == 3, "menu bar has %d items", GetMenuItemCount(bar));
    GetMenuStringA(bar, 0, text, sizeof text, MF_BYPOSITION);
    REQUIRE(std::string(text) == "&File", "first menu \"%s\"", text);
    HMENU file = GetSubMenu(bar, 0);
    REQUIRE(GetMenuItemCount(file) == 1, "File has %d items", GetMenuItemCount(file));
    REQUIRE(GetMenuItemID(file, 0) == kCmdExit, "File's item is %u", GetMenuItemID(file, 0));
    REQUIRE(GetMenuStringA(bar, kCmdLoad, text, sizeof text, MF_BYCOMMAND) == 0,
            "the menu still has \"Load\"");
    REQUIRE(GetMenuItemID(bar, 1) == kCmdUpgrade, "second item is %u", GetMenuItemID(bar, 1));
    HMENU help = GetSubMenu(bar, 2);
    REQUIRE(GetMenuItemID(help, 0) == kCmdAbout && GetMenuItemID(help, 1) == kCmdVersion,
            "Help holds %u and %u", GetMenuItemID(help, 0), GetMenuItemID(help, 1));
    return true;
}

struct PopupSearch {
    DWORD processId;
    HWND popup;
};

BOOL CALLBACK findMenuPopup(HWND window, LPARAM context) {
    PopupSearch* search = reinterpret_cast<PopupSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window) && className(window) == "#32768") {
        search->popup = window;
        return FALSE;
    }
    return TRUE;
}

HWND openPopup(CaseContext& context, HWND main, WORD mnemonic) {
    bringToFront(main);
    context.session.pressChord({VK_MENU}, mnemonic);
    for (int i = 0; i < 100; ++i) {
        PopupSearch search{context.session.processId(), nullptr};
        EnumWindows(findMenuPopup, reinterpret_cast<LPARAM>(&search));
        if (search.popup != nullptr) {
            Sleep(200); // let it paint for the screenshot
            return search.popup;
        }
        Sleep(20);
    }
    return nullptr;
}

void closePopup(CaseContext& context) {
    context.session.pressChord({}, VK_ESCAPE);
    context.session.pressChord({}, VK_ESCAPE);
    Sleep(200);
}

int popupHeight(HWND popup) {
    RECT area{};
    GetWindowRect(popup, &area);
    return area.bottom - area.top;
}

// Where another process's menu cannot be read (Wine keeps menus per process), the File
// popup must be one item shorter than the two-item Help popup: "Load" is gone, "Exit" stays.
bool checkMenuByPopups(CaseContext& context, HWND main) {
    HWND file = openPopup(context, main, 'F');
    REQUIRE(file != nullptr, "Alt+F opened no File menu");
    context.session.screenshot("file-menu", main);
    const int fileHeight = popupHeight(file);
    closePopup(context);
    HWND help = openPopup(context, main, 'H');
    REQUIRE(help != nullptr, "Alt+H opened no Help menu");
    const int helpHeight = popupHeight(help);
    context.session.screenshot("help-menu", main);
    closePopup(context);
    REQUIRE(fileHeight > 0 && fileHeight < helpHeight,
            "File menu %d px high, Help menu %d px: \"Load\" still there?", fileHeight, helpHeight);
    return true;
}

bool caseMainWindow(CaseContext& context) {
    REQUIRE_OK(context.session.start());
    HWND main = context.session.waitForMainWindow(kStartMs);
    REQUIRE_OK(main != nullptr);
    REQUIRE_OK(context.session.idle(500));
    REQUIRE(windowText(main) == kTitle, "title \"%s\"", windowText(main).c_str());
    REQUIRE(className(main) == kTitle, "class \"%s\"", className(main).c_str());
    const LONG style = windowStyle(main);
    REQUIRE((style & WS_SYSMENU) != 0 && (style & WS_CAPTION) == WS_CAPTION,
            "style %08lx lacks caption or system menu", static_cast<unsigned long>(style));
    REQUIRE((style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) == 0,
            "style %08lx has a minimise/maximise box or sizing border",
            static_cast<unsigned long>(style));
    RECT outer{};
    GetWindowRect(main, &outer);
    REQUIRE(outer.right - outer.left == 230 && outer.bottom - outer.top == 90,
            "outer size %ldx%ld, expected 230x90", outer.right - outer.left,
            outer.bottom - outer.top);
    REQUIRE(readBar(main).blank(), "the bar area is not blank before any upgrade");
    context.session.screenshot("main", main);

    HMENU bar = GetMenu(main);
    REQUIRE(bar != nullptr, "the main window has no menu");
    if (GetMenuItemCount(bar) >= 0) {
        REQUIRE_OK(checkMenuDirectly(context, bar));
    } else {
        std::printf("note: the menu of another process cannot be read here; "
                    "comparing the popups instead\n");
        REQUIRE_OK(checkMenuByPopups(context, main));
    }
    return exitThroughMenu(context, main);
}

// The About picture: its first row is 256 pixels wide, centred in the client area (its left
// edge at (client width - 256) / 2, which is negative when the dialog is narrower than the
// picture) and starts at y = 58. Checks the columns and edges that fall inside the client.
bool checkAboutPicture(CaseContext& context, HWND about) {
    const RECT client = clientRectOnScreen(about);
    const ScreenImage image = captureScreen(client);
    const int width = client.right - client.left;
    const int left = (width - kPictureWidth) / 2;
    const int right = left + kPictureWidth - 1;
    const int firstShown = left > 0 ? left : 0;
    const int lastShown = right < width - 1 ? right : width - 1;
    auto at = [&](int x, int y) { return image.at(client.left + x, client.top + y); };
    REQUIRE(at(firstShown, kPictureTop) == kPictureTopRow &&
                at(lastShown, kPictureTop) == kPictureTopRow,
            "picture's top row not at (%d..%d, 58) in a %d px wide client: %s, %s", left, right,
            width, colourText(at(firstShown, kPictureTop)).c_str(),
            colourText(at(lastShown, kPictureTop)).c_str());
    REQUIRE(at(firstShown, kPictureTop - 1) != kPictureTopRow, "the picture starts above y = 58");
    REQUIRE(left <= 0 || at(left - 1, kPictureTop) != kPictureTopRow,
            "the picture starts left of x = %d", left);
    REQUIRE(right >= width - 1 || at(right + 1, kPictureTop) != kPictureTopRow,
            "the picture reaches beyond x = %d", right);
    return true;
}

bool checkAboutDialog(CaseContext& context, HWND about, HWND main) {
    REQUIRE(controlText(about, kAboutVersion) == "PX-R7 Meter V1.03", "version line \"%s\"",
            controlText(about, kAboutVersion).c_str());
    REQUIRE(controlText(about, kAboutFooter).empty(), "footer \"%s\"",
            controlText(about, kAboutFooter).c_str());
    REQUIRE(GetWindow(about, GW_OWNER) == main, "About is not owned by the main window");
    Sleep(200); // painted
    return checkAboutPicture(context, about);
}

bool caseAboutKeys(CaseContext& context) {
    REQUIRE_OK(context.session.start());
    HWND main = context.session.waitForMainWindow(kStartMs);
    REQUIRE_OK(main != nullptr);
    REQUIRE_OK(context.session.idle(300));

    bringToFront(main);
    context.session.pressChord({VK_MENU, VK_SHIFT}, VK_OEM_2); // Alt+"?"
    HWND about = context.session.waitForDialog("About...", nullptr, kDialogMs);
    REQUIRE(about != nullptr, "Alt+? opened no About dialog (%s)",
            context.session.failure().c_str());
    REQUIRE_OK(checkAboutDialog(context, about, main));
    context.session.screenshot("about", about);
    pressButton(about, IDOK);
    REQUIRE_OK(context.session.waitGone(about, kDialogMs));

    bringToFront(main);
    context.session.pressChord({VK_MENU}, VK_OEM_2); // Alt+"/"
    about = context.session.waitForDialog("About...", nullptr, kDialogMs);
    REQUIRE(about != nullptr, "Alt+/ opened no About dialog (%s)",
            context.session.failure().c_str());
    REQUIRE_OK(checkAboutDialog(context, about, main));
    bringToFront(about);
    context.session.pressChord({}, VK_ESCAPE); // Esc closes it as cancel
    REQUIRE_OK(context.session.waitGone(about, kDialogMs));
    return exitThroughMenu(context, main);
}

bool caseDeviceList(CaseContext& context) {
    REQUIRE_OK(context.session.start());
    HWND main = context.session.waitForMainWindow(kStartMs);
    REQUIRE_OK(main != nullptr);
    command(main, kCmdVersion);
    HWND list = context.session.waitForDialog("USB Devices", nullptr, kDialogMs);
    REQUIRE_OK(list != nullptr);
    REQUIRE((windowStyle(list) & WS_SYSMENU) == 0, "the device list has a system menu");
    const std::vector<std::string> lines = listBoxLines(GetDlgItem(list, kMeterList));
    std::string shown;
    for (const std::string& line : lines) {
        shown += "\"" + line + "\" ";
    }
    REQUIRE(lines == context.expected, "list shows %s", shown.c_str());
    const std::string count = std::to_string(context.expected.size());
    REQUIRE(controlText(list, kDeviceCount) == count, "count \"%s\", expected \"%s\"",
            controlText(list, kDeviceCount).c_str(), count.c_str());
    context.session.screenshot("device-list", list);
    pressButton(list, IDOK);
    REQUIRE_OK(context.session.waitGone(list, kDialogMs));
    return exitThroughMenu(context, main);
}

// From "Upgrade Now" on: the bar fills, "Upgrade complete" shows over the full bar, and the
// bar is blank again once the box is gone; then the program exits through its menu.
bool upgradeRunsToCompletion(CaseContext& context, HWND main) {
    const ULONGLONG started = GetTickCount64();

    // Watch the bar fill until the completion box appears.
    HWND box = nullptr;
    int lastFill = 0;
    bool midShot = false;
    while (box == nullptr) {
        REQUIRE(GetTickCount64() - started < kUpgradeMs, "no completion within %lu ms (bar %d)",
                kUpgradeMs, lastFill);
        for (HWND dialog : visibleDialogs(context.session.processId())) {
            REQUIRE(messageBoxText(dialog) == "Upgrade complete", "unexpected box \"%s\"",
                    messageBoxText(dialog).c_str());
            box = dialog;
        }
        if (box != nullptr) {
            break;
        }
        const BarView bar = readBar(main);
        const int fill = bar.filledWidth();
        REQUIRE(bar.at(kBarLeft, kBarMiddle) == kBlack || fill == 0,
                "fill without outline at x=10");
        REQUIRE(fill + 2 >= lastFill, "the bar went back from %d to %d", lastFill, fill);
        lastFill = fill > lastFill ? fill : lastFill;
        if (!midShot && fill >= 60 && fill <= 150) {
            context.session.screenshot("main-mid-upgrade", main);
            midShot = true;
        }
        REQUIRE(context.session.running(), "the program ended during the upgrade");
        Sleep(40);
    }
    const ULONGLONG elapsed = GetTickCount64() - started;
    std::printf("upgrade wall time: %llu ms (confirm to \"Upgrade complete\")\n", elapsed);
    REQUIRE(midShot, "never saw the bar part-filled (last %d)", lastFill);
    REQUIRE_OK(checkBox(context, box, main, BoxIcon::Information));
    const BarView full = readBar(main);
    REQUIRE(full.at(kBarRight - 3, kBarMiddle) == kBlack,
            "the bar is not full behind the completion box");
    context.session.screenshot("complete", std::vector<HWND>{main, box});
    REQUIRE_OK(dismissBox(context, box));
    REQUIRE_OK(context.session.idle(400));
    REQUIRE(IsWindowEnabled(main), "the main window stayed disabled");
    REQUIRE(readBar(main).blank(), "the bar area is not blank after the box");
    context.session.screenshot("after", main);
    return exitThroughMenu(context, main);
}

bool caseUpgrade(CaseContext& context) {
    REQUIRE(context.expected.size() == 1, "usage: upgrade <expected version>");
    REQUIRE_OK(context.session.start());
    HWND main = context.session.waitForMainWindow(kStartMs);
    REQUIRE_OK(main != nullptr);
    HWND warning = openUpgradeWarning(context, main);
    REQUIRE_OK(warning != nullptr);
    REQUIRE(controlText(warning, kVersionField) == context.expected[0], "version field \"%s\"",
            controlText(warning, kVersionField).c_str());
    const std::vector<std::string> versions = listBoxLines(GetDlgItem(warning, kVersionList));
    REQUIRE(versions.size() == 1 && versions[0] == "Any Version",
            "the version list holds %zu lines", versions.size());
    context.session.screenshot("warning", warning);
    REQUIRE_OK(confirmUpgrade(context, warning));
    return upgradeRunsToCompletion(context, main);
}

// A factory-fresh lead: the warning's search sets it up and it restarts, so the warning shows
// no meter; once the lead is back, "Upgrade Now" upgrades it.
bool caseFirstUse(CaseContext& context) {
    REQUIRE_OK(context.session.start());
    HWND main = context.session.waitForMainWindow(kStartMs);
    REQUIRE_OK(main != nullptr);
    HWND warning = openUpgradeWarning(context, main);
    REQUIRE_OK(warning != nullptr);
    REQUIRE(controlText(warning, kVersionField) == "No devices present", "version field \"%s\"",
            controlText(warning, kVersionField).c_str());
    context.session.screenshot("warning", warning);
    REQUIRE_OK(context.session.idle(kLeadBackMs, {warning}));
    REQUIRE_OK(confirmUpgrade(context, warning));
    return upgradeRunsToCompletion(context, main);
}

// Confirms the warning and expects one error box, then a blank bar.
bool upgradeFailsWith(CaseContext& context, const char* expectedVersion, const char* message) {
    REQUIRE_OK(context.session.start());
    HWND main = context.session.waitForMainWindow(kStartMs);
    REQUIRE_OK(main != nullptr);
    HWND warning = openUpgradeWarning(context, main);
    REQUIRE_OK(warning != nullptr);
    REQUIRE(controlText(warning, kVersionField) == expectedVersion, "version field \"%s\"",
            controlText(warning, kVersionField).c_str());
    context.session.screenshot("warning", warning);
    REQUIRE_OK(confirmUpgrade(context, warning));
    HWND box = context.session.waitForDialog(kTitle, message, kDialogMs);
    REQUIRE_OK(box != nullptr);
    REQUIRE_OK(checkBox(context, box, main, BoxIcon::Stop));
    context.session.screenshot("error", std::vector<HWND>{main, box});
    REQUIRE_OK(dismissBox(context, box));
    REQUIRE_OK(context.session.idle(400));
    REQUIRE(readBar(main).blank(), "the bar area is not blank after the box");
    return exitThroughMenu(context, main);
}

bool caseNoBridge(CaseContext& context) {
    return upgradeFailsWith(context, "No devices present", "USB Port Error");
}

bool caseNoHandshake(CaseContext& context) {
    REQUIRE(context.expected.size() == 1, "usage: no-handshake <expected version>");
    return upgradeFailsWith(context, context.expected[0].c_str(), "Error - Handshake not received");
}

bool caseNoDriver(CaseContext& context) {
    REQUIRE_OK(context.session.start());
    HWND box = context.session.waitForDialog(kTitle, "Warning, can't load USB driver (ftd2xx.dll)",
                                             kStartMs);
    REQUIRE_OK(box != nullptr);
    HWND main = nullptr;
    for (HWND window : visibleTopLevelWindows(context.session.processId())) {
        if (className(window) == kTitle) {
            main = window;
        }
    }
    REQUIRE(main != nullptr, "the main window is not shown behind the warning");
    REQUIRE_OK(checkBox(context, box, main, BoxIcon::Information));
    context.session.screenshot("warning", std::vector<HWND>{main, box});
    pressButton(box, IDOK);
    return context.session.waitForExit(kExitMs, 0);
}

bool caseCloseDuringTransfer(CaseContext& context) {
    REQUIRE_OK(context.session.start());
    HWND main = context.session.waitForMainWindow(kStartMs);
    REQUIRE_OK(main != nullptr);
    HWND warning = openUpgradeWarning(context, main);
    REQUIRE_OK(warning != nullptr);
    REQUIRE_OK(confirmUpgrade(context, warning));
    const ULONGLONG started = GetTickCount64();
    while (readBar(main).filledWidth() < 20) {
        REQUIRE(GetTickCount64() - started < kUpgradeMs, "the transfer never got going");
        REQUIRE_OK(context.session.idle(40));
    }
    PostMessageA(main, WM_CLOSE, 0, 0);
    return context.session.waitForExit(kExitMs, 0);
}

} // namespace

const std::vector<CaseEntry>& allCases() {
    static const std::vector<CaseEntry> cases = {
        {"main-window", caseMainWindow, "title, class, style, size, menu without Load, Exit"},
        {"about-keys", caseAboutKeys, "Alt+? and Alt+/ open About; version line; picture"},
        {"device-list", caseDeviceList, "Help > Version lists the answering meters"},
        {"foreign-bridge", caseDeviceList, "a foreign FT232R beside a meter is not listed"},
        {"upgrade", caseUpgrade, "the whole upgrade through the warning dialog"},
        {"first-use", caseFirstUse, "a factory-fresh lead: set up by the warning, then upgraded"},
        {"no-bridge", caseNoBridge, "no bridge: No devices present, then USB Port Error"},
        {"no-handshake", caseNoHandshake, "a silent meter: Error - Handshake not received"},
        {"no-driver", caseNoDriver, "no Ftd2xx.dll: the warning, then the program ends"},
        {"close-during-transfer", caseCloseDuringTransfer, "closing mid-transfer exits with 0"},
    };
    return cases;
}
