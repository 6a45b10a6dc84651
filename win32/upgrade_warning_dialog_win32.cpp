// Dialog 163, "Upgrade Warning!": the connected meter's version, the versions this image
// upgrades, the warning, and "Upgrade Now" / "Cancel".
#include "dialog_support_win32.h"
#include "dialog_texts.h"
#include "dialogs_win32.h"
#include "resource.h"
#include "upgrade.h"

#include <cstdint>

namespace pxr7 {

namespace {

struct UpgradeWarningData {
    Upgrade* upgrade;
    std::uint32_t imageResourceId; // the image "Upgrade Now" will send
    bool meterFound;               // set by the meter search
};

INT_PTR onInitDialog(HWND dialog, UpgradeWarningData* data) {
    const PreUpgradeCheck check = data->upgrade->checkBeforeStart(data->imageResourceId);
    data->meterFound = check.meter.has_value();
    SetDlgItemTextA(dialog, IDC_VERSION_FIELD,
                    data->meterFound ? check.meter->version.c_str() : PXR7_NO_DEVICES_PRESENT);
    HWND versions = GetDlgItem(dialog, IDC_VERSION_LIST);
    SendMessageA(versions, LB_RESETCONTENT, 0, 0);
    SendMessageA(versions, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(PXR7_ANY_VERSION));
    // Enabled even without an answering meter: the upgrade itself reports a missing bridge.
    EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
    return FALSE; // the keyboard focus is left where the dialog manager puts it
}

INT_PTR CALLBACK upgradeWarningProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog, reinterpret_cast<UpgradeWarningData*>(lParam));
    case WM_COMMAND:
        return endDialogOnCloseCommand(dialog, LOWORD(wParam));
    default:
        return FALSE;
    }
}

} // namespace

int runUpgradeWarning(HWND owner, Upgrade& upgrade) {
    UpgradeWarningData data{&upgrade, IMAGE_RESOURCE_ID, false};
    return static_cast<int>(DialogBoxParamA(GetModuleHandleA(nullptr),
                                            MAKEINTRESOURCEA(IDD_UPGRADE_WARNING), owner,
                                            upgradeWarningProc, reinterpret_cast<LPARAM>(&data)));
}

} // namespace pxr7
