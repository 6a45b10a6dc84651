// The three modal dialogs of the main window's menu. Each runs its template modally under
// owner and returns the command that closed it: 1 (OK, "Upgrade Now") or 2 (Cancel, Esc or
// the close box); -1 if the dialog could not be created.
#pragma once

#include <windows.h>

namespace pxr7 {

class Upgrade;

// The command of the warning's "Upgrade Now" button: the result that lets an upgrade start.
constexpr int kUpgradeNow = IDOK;

// Shows the first answering meter's version and asks before an upgrade; chooses the image
// upgrade will send. Its result is the Upgrade command's confirm step.
int runUpgradeWarning(HWND owner, Upgrade& upgrade);

// Lists the version of every answering meter and their count.
int runDeviceList(HWND owner);

// The program's version line and picture.
int runAbout(HWND owner);

} // namespace pxr7
