#include "exit_codes.h"

#include "message_catalogue.h"

int exitCodeForMessage(int messageIndex) {
    switch (messageIndex) {
    case MSG_UPGRADE_COMPLETE:
        return EXIT_OK;
    case MSG_INSTALL_DRIVER_FIRST:
    case MSG_NO_USB_DRIVER:
        return EXIT_NO_DRIVER;
    case MSG_USB_PORT_ERROR:
        return EXIT_PORT_ERROR;
    case MSG_NO_DEVICES_FOUND:
        return EXIT_BRIDGE_REPROGRAMMED;
    case MSG_HANDSHAKE_NOT_RECEIVED:
        return EXIT_HANDSHAKE_FAILED;
    case MSG_CANNOT_LOCATE_DATA:
    case MSG_DATA_SIZE_UNKNOWN:
    case MSG_CANNOT_ACCESS_DATA:
    case MSG_CANNOT_LOCK_DATA:
    case MSG_CANNOT_ALLOCATE_MEMORY:
        return EXIT_IMAGE_PROBLEM;
    default:
        return EXIT_FAILURE_OTHER;
    }
}
