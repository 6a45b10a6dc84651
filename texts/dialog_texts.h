/* Texts of the upgrade warning that both the Windows dialog template and the command line
   show. Plain preprocessor lines only, so the resource script can include it. */
#ifndef PXR7_DIALOG_TEXTS_H
#define PXR7_DIALOG_TEXTS_H

#define PXR7_WARNING_CAPTION "Upgrade Warning!"
#define PXR7_WARNING_LABEL "Warning!"
/* One literal: the resource compiler does not join adjacent strings. */
/* clang-format off */
#define PXR7_WARNING_TEXT "Before upgrading your unit please make sure that the battery is charged to at least 50%. Do not unplug the unit during the upgrade procedure. Close all other programs before running this upgrade."
/* clang-format on */
#define PXR7_CONNECTED_VERSION_LABEL "Software version of connected meter."
#define PXR7_UPGRADABLE_VERSIONS_LABEL "This program will upgrade the following versions"
#define PXR7_ANY_VERSION "Any Version"
#define PXR7_NO_DEVICES_PRESENT "No devices present"
#define PXR7_UPGRADE_NOW "Upgrade Now"

#endif
