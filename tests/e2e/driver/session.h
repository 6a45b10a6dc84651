// One run of the program under test: started by the driver, watched for windows it did not
// expect, and ended cleanly or killed. Every wait has a deadline, and a message box that
// nobody waits for fails the case at once instead of blocking it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class Session {
public:
    Session(std::string program, std::string artefactDir, std::string caseName);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Starts the program in its own folder. False (with a failure) if it cannot be started.
    bool start();

    // Waits for the main window ("Tavelin Meter - PXR7" as class name).
    HWND waitForMainWindow(DWORD timeoutMs);

    // Waits for a dialog-class window with this caption (and, for a message box, this text:
    // null accepts any). Fails on any other dialog or box that is not in tolerated, on the
    // program's exit and on the deadline.
    HWND waitForDialog(const char* caption, const char* text, DWORD timeoutMs,
                       const std::vector<HWND>& tolerated = {});

    // Waits for window to go away, failing on unexpected boxes meanwhile.
    bool waitGone(HWND window, DWORD timeoutMs, const std::vector<HWND>& tolerated = {});

    // Lets the program run for a while; fails if an unexpected dialog shows up.
    bool idle(DWORD ms, const std::vector<HWND>& tolerated = {});

    // Waits for the process to end and checks its exit code.
    bool waitForExit(DWORD timeoutMs, DWORD expectedExitCode);

    // Saves the window (with a small margin) as <artefacts>/<case>-<name>.bmp.
    void screenshot(const char* name, HWND window);
    // The same for the smallest area that shows all the windows.
    void screenshot(const char* name, const std::vector<HWND>& windows);

    // Sends key presses to the foreground window: each entry is a virtual key; modifiers
    // are held down for the whole chord.
    void pressChord(const std::vector<WORD>& modifiers, WORD key);

    bool fail(const char* format, ...);
    bool failed() const { return !failure_.empty(); }
    const std::string& failure() const { return failure_; }
    DWORD processId() const { return processInfo_.dwProcessId; }
    bool running() const;

private:
    // Visible dialogs and boxes of the program that are not in tolerated.
    std::vector<HWND> straysAmong(const std::vector<HWND>& tolerated) const;
    bool failOnStray(HWND stray, const std::string& activity);

    std::string program_;
    std::string artefactDir_;
    std::string caseName_;
    PROCESS_INFORMATION processInfo_{};
    bool exited_ = false;
    std::string failure_;
};
