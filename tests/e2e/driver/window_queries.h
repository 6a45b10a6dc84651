// What the driver reads from another process's windows: only calls that the system marshals
// across processes (window text and list-box messages go through SendMessageTimeout so a
// hung program cannot hang the driver).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

std::string windowText(HWND window);
std::string className(HWND window);
std::string controlText(HWND dialog, int controlId);
std::vector<std::string> listBoxLines(HWND list);
LONG windowStyle(HWND window);

// Visible top-level windows of a process.
std::vector<HWND> visibleTopLevelWindows(DWORD processId);

// Dialog-class ("#32770") windows among them: our dialogs and the message boxes.
std::vector<HWND> visibleDialogs(DWORD processId);

// The text of a message box (its static text control), or "" if it has none.
std::string messageBoxText(HWND box);

// The message box's icon control (the static with SS_ICON), or null.
HWND messageBoxIcon(HWND box);

enum class BoxIcon { Unknown, Information, Stop };
const char* boxIconName(BoxIcon icon);

// Which system icon the box shows: its icon control's pixels on screen compared with the
// information and stop icons drawn here on the same background.
BoxIcon identifyBoxIcon(HWND box);

// The client rectangle in screen coordinates.
RECT clientRectOnScreen(HWND window);
