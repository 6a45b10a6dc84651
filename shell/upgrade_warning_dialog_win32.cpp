// Dialog 163, "Upgrade Warning!": the connected meter's version, the versions this image
// upgrades, the warning, and "Upgrade Now" / "Cancel".
#include "dialog_texts.h"
#include "dialogs_win32.h"

#include "../link/version_query.h"
#include "../upgrade/upgrade_procedure.h"
#include "dialog_support_win32.h"
#include "resource.h"

#include <cstdint>

using namespace pxr7;

namespace {

static_assert(IDR_FIRMWARE_IMAGE == IMAGE_RESOURCE_ID, "the image the dialog chooses");

struct UpgradeWarningData {
    std::uint32_t imageResourceId; // the image "Upgrade Now" will send
    int metersFound;               // set by the meter search
};

// The version query writes the first answering meter's version into field 1104.
class VersionField : public VersionFieldTarget {
public:
    explicit VersionField(HWND dialog) : dialog_(dialog) {}
    void setVersionText(const char* text) override {
        SetDlgItemTextA(dialog_, IDC_VERSION_FIELD, text);
    }

private:
    HWND dialog_;
};

INT_PTR onInitDialog(HWND dialog, UpgradeWarningData* data) {
    // Nothing can be sent until this dialog has chosen the image again.
    chooseImage(0);
    VersionField field(dialog);
    data->metersFound = enumerateMeters(nullptr, &field);
    if (data->metersFound == 0) {
        SetDlgItemTextA(dialog, IDC_VERSION_FIELD, PXR7_NO_DEVICES_PRESENT);
    }
    HWND versions = GetDlgItem(dialog, IDC_VERSION_LIST);
    SendMessageA(versions, LB_RESETCONTENT, 0, 0);
    SendMessageA(versions, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(PXR7_ANY_VERSION));
    chooseImage(data->imageResourceId);
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

int runUpgradeWarning(HWND owner) {
    UpgradeWarningData data{IMAGE_RESOURCE_ID, 0};
    return static_cast<int>(DialogBoxParamA(GetModuleHandleA(nullptr),
                                            MAKEINTRESOURCEA(IDD_UPGRADE_WARNING), owner,
                                            upgradeWarningProc, reinterpret_cast<LPARAM>(&data)));
}
