#include "session.h"

#include "screen_image.h"
#include "window_queries.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace {

constexpr const char* kMainWindowClass = "Tavelin Meter - PXR7";
constexpr DWORD kPollMs = 20;

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool contains(const std::vector<HWND>& windows, HWND window) {
    return std::find(windows.begin(), windows.end(), window) != windows.end();
}

} // namespace

Session::Session(std::string program, std::string artefactDir, std::string caseName)
    : program_(std::move(program)), artefactDir_(std::move(artefactDir)),
      caseName_(std::move(caseName)) {}

Session::~Session() {
    if (processInfo_.hProcess != nullptr) {
        if (running()) {
            // A case that failed half-way: nothing may outlive the driver.
            TerminateProcess(processInfo_.hProcess, 99);
            WaitForSingleObject(processInfo_.hProcess, 5000);
        }
        CloseHandle(processInfo_.hThread);
        CloseHandle(processInfo_.hProcess);
    }
}

bool Session::start() {
    std::string commandLine = "\"" + program_ + "\"";
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');
    const std::string folder = folderOf(program_);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    if (!CreateProcessA(program_.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &processInfo_)) {
        return fail("cannot start %s (error %lu)", program_.c_str(), GetLastError());
    }
    return true;
}

bool Session::running() const {
    return processInfo_.hProcess != nullptr &&
           WaitForSingleObject(processInfo_.hProcess, 0) == WAIT_TIMEOUT;
}

bool Session::fail(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (failure_.empty()) {
        failure_ = text;
    }
    return false;
}

std::vector<HWND> Session::straysAmong(const std::vector<HWND>& tolerated) const {
    std::vector<HWND> strays;
    for (HWND dialog : visibleDialogs(processId())) {
        if (!contains(tolerated, dialog)) {
            strays.push_back(dialog);
        }
    }
    return strays;
}

bool Session::failOnStray(HWND stray, const std::string& activity) {
    const std::string caption = windowText(stray);
    const std::string text = messageBoxText(stray);
    return fail("unexpected window \"%s\"%s%s%s %s", caption.c_str(), text.empty() ? "" : ": \"",
                text.c_str(), text.empty() ? "" : "\"", activity.c_str());
}

HWND Session::waitForMainWindow(DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < deadline) {
        for (HWND window : visibleTopLevelWindows(processId())) {
            if (className(window) == kMainWindowClass) {
                return window;
            }
        }
        if (!running()) {
            fail("the program ended before its window appeared");
            return nullptr;
        }
        Sleep(kPollMs);
    }
    fail("no main window within %lu ms", timeoutMs);
    return nullptr;
}

HWND Session::waitForDialog(const char* caption, const char* text, DWORD timeoutMs,
                            const std::vector<HWND>& tolerated) {
    const std::string awaited = text != nullptr ? text : caption;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < deadline) {
        // One pass decides for each window: the awaited one, a tolerated one, or a stray.
        for (HWND dialog : visibleDialogs(processId())) {
            if (contains(tolerated, dialog)) {
                continue;
            }
            const std::string shownCaption = windowText(dialog);
            const std::string shownText = messageBoxText(dialog);
            if (shownCaption == caption && (text == nullptr || shownText == text)) {
                return dialog;
            }
            failOnStray(dialog, "while waiting for \"" + awaited + "\"");
            return nullptr;
        }
        if (!running()) {
            fail("the program ended while waiting for \"%s\"", awaited.c_str());
            return nullptr;
        }
        Sleep(kPollMs);
    }
    fail("no \"%s\" within %lu ms", awaited.c_str(), timeoutMs);
    return nullptr;
}

bool Session::waitGone(HWND window, DWORD timeoutMs, const std::vector<HWND>& tolerated) {
    std::vector<HWND> allowed = tolerated;
    allowed.push_back(window);
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < deadline) {
        if (!IsWindow(window) || !IsWindowVisible(window)) {
            return true;
        }
        const std::vector<HWND> strays = straysAmong(allowed);
        // A box that shows up just as the window goes belongs to whatever comes next.
        if (!strays.empty() && IsWindow(window) && IsWindowVisible(window)) {
            return failOnStray(strays.front(),
                               "while waiting for \"" + windowText(window) + "\" to close");
        }
        Sleep(kPollMs);
    }
    return fail("\"%s\" did not close within %lu ms", windowText(window).c_str(), timeoutMs);
}

bool Session::idle(DWORD ms, const std::vector<HWND>& tolerated) {
    const ULONGLONG until = GetTickCount64() + ms;
    while (GetTickCount64() < until) {
        const std::vector<HWND> strays = straysAmong(tolerated);
        if (!strays.empty()) {
            return failOnStray(strays.front(), "while idle");
        }
        Sleep(kPollMs);
    }
    return true;
}

bool Session::waitForExit(DWORD timeoutMs, DWORD expectedExitCode) {
    if (WaitForSingleObject(processInfo_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        return fail("the program did not end within %lu ms", timeoutMs);
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(processInfo_.hProcess, &exitCode);
    if (exitCode != expectedExitCode) {
        return fail("exit code %lu, expected %lu", exitCode, expectedExitCode);
    }
    return true;
}

void Session::screenshot(const char* name, HWND window) {
    screenshot(name, std::vector<HWND>{window});
}

void Session::screenshot(const char* name, const std::vector<HWND>& windows) {
    RECT area{};
    for (HWND window : windows) {
        RECT bounds{};
        GetWindowRect(window, &bounds);
        UnionRect(&area, &area, &bounds);
    }
    InflateRect(&area, 8, 8);
    const ScreenImage image = captureScreen(area);
    const std::string path = artefactDir_ + "\\" + caseName_ + "-" + name + ".bmp";
    if (!saveBmp(image, path)) {
        std::printf("note: could not save %s\n", path.c_str());
    }
}

void Session::pressChord(const std::vector<WORD>& modifiers, WORD key) {
    std::vector<INPUT> inputs;
    auto push = [&inputs](WORD vk, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    for (WORD modifier : modifiers) {
        push(modifier, false);
    }
    push(key, false);
    push(key, true);
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) {
        push(*it, true);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}
