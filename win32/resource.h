/* Numeric identifiers of the program's resources, shared by the resource script and the
   code. Plain #defines only: the resource compiler's preprocessor reads this file too. */
#ifndef PXR7_RESOURCE_H
#define PXR7_RESOURCE_H

/* Icons, bitmaps, menus and accelerators (the firmware image: firmware_image_id.h) */
#define IDI_METER 135
#define IDI_METER_SMALL 108 /* named by the window class; the program carries none */
#define IDB_ABOUT_PICTURE 249
#define IDR_MAIN_MENU 225
#define IDR_MAIN_ACCELERATORS 225

/* Menu commands */
#define IDM_ABOUT 104
#define IDM_EXIT 32771
#define IDM_LOAD 32780
#define IDM_UPGRADE 32795
#define IDM_VERSION 32801

/* Dialogs */
#define IDD_ABOUT 110
#define IDD_DEVICE_LIST 158
#define IDD_UPGRADE_WARNING 163

/* Controls */
#define IDC_METER_LIST 1089
#define IDC_DEVICE_COUNT 1092
#define IDC_ABOUT_FOOTER 1093
#define IDC_ABOUT_VERSION 1096
#define IDC_VERSION_LIST 1103
#define IDC_VERSION_FIELD 1104
#define IDC_WARNING_TEXT 1105

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
