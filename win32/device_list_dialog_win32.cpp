// Dialog 158, the USB device list: one line per answering meter and their count.
#include "bridge_library.h"
#include "dialog_support_win32.h"
#include "dialogs_win32.h"
#include "message_catalogue.h"
#include "resource.h"
#include "version_query.h"

#include <cstdio>

namespace pxr7 {

namespace {

struct DeviceListData {
    int captionMessage; // message index of the caption
    int meterCount;     // set by the meter search
};

INT_PTR onInitDialog(HWND dialog, DeviceListData* data) {
    setDialogCaptionFromMessage(dialog, data->captionMessage);
    data->meterCount = 0;
    if (bridgeLibraryPresent()) {
        HWND list = GetDlgItem(dialog, IDC_METER_LIST);
        SendMessageA(list, LB_RESETCONTENT, 0, 0);
        const MeterSearch search = searchMetersCorrectingLeads(SearchExtent::AllMeters);
        for (const MeterInfo& meter : search.meters) {
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(meter.version.c_str()));
        }
        data->meterCount = static_cast<int>(search.meters.size());
        char count[16];
        std::snprintf(count, sizeof count, "%d", data->meterCount);
        SetDlgItemTextA(dialog, IDC_DEVICE_COUNT, count);
    }
    return FALSE; // the keyboard focus is left where the dialog manager puts it
}

INT_PTR CALLBACK deviceListProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog, reinterpret_cast<DeviceListData*>(lParam));
    case WM_COMMAND:
        return endDialogOnCloseCommand(dialog, LOWORD(wParam));
    default:
        return FALSE;
    }
}

} // namespace

int runDeviceList(HWND owner) {
    DeviceListData data{MSG_USB_DEVICES_TITLE, 0};
    return static_cast<int>(DialogBoxParamA(GetModuleHandleA(nullptr),
                                            MAKEINTRESOURCEA(IDD_DEVICE_LIST), owner,
                                            deviceListProc, reinterpret_cast<LPARAM>(&data)));
}

} // namespace pxr7
