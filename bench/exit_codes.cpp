#include "exit_codes.h"

namespace pxr7 {

namespace {

constexpr ExitCodeRow kRows[] = {
    {EXIT_OK, "", "success"},
    {EXIT_FAILURE_OTHER, "failure", "other failure"},
    {EXIT_USAGE, "usage", "usage error"},
    {EXIT_NO_DRIVER, "no_driver", "the USB driver (D2XX library, or libftdi1) could not be loaded"},
    {EXIT_PORT_ERROR, "port_error",
     "USB port error: the meter's bridge could not be opened, or is gone"},
    {EXIT_BRIDGE_REPROGRAMMED, "reconnect",
     "the lead was set up or is restarting: reconnect the USB lead and run the command again"},
    {EXIT_HANDSHAKE_FAILED, "handshake_timeout",
     "the meter never answered the reset (handshake not received)"},
    {EXIT_IMAGE_PROBLEM, "image_problem",
     "the firmware image the program carries could not be used"},
    {EXIT_CANCELLED, "cancelled", "cancelled by the user"},
    {EXIT_LEAD_SETUP_FAILED, "setup_failed",
     "the lead's settings could not be written to its EEPROM, or did not hold"},
    {EXIT_NOT_A_METER_LEAD, "no_meter_lead",
     "no meter lead, or the bridge chosen is not one; it was left alone"},
    {EXIT_BUSY, "busy",
     "busy: the bridge could not be opened (another program or the kernel's serial driver "
     "holds it, or no permission)"},
    {EXIT_TRANSFER_STOPPED, "transfer_stopped",
     "the transfer stopped part-way: the meter waits in its boot loader"},
    {EXIT_VERIFY_FAILED, "verification_failed",
     "verification failed: the meter reports another version"},
    {EXIT_AMBIGUOUS, "ambiguous", "several meter leads and none chosen: use --serial or --index"},
    {EXIT_METER_SILENT, "meter_silent", "the meter did not answer after the upgrade"},
    {EXIT_NEEDS_SETUP, "needs_setup",
     "a lead needs its EEPROM set up first and nothing was written: run the setup command "
     "shown, or add --setup"},
    {EXIT_STATION_FAILURES, "station_failures",
     "the station finished and at least one meter failed for good"},
    {EXIT_HANGUP, "hangup", "stopped by SIGHUP"},
    {EXIT_INTERRUPTED, "interrupted", "interrupted (Ctrl+C twice during a transfer)"},
    {EXIT_QUIT, "quit", "stopped by SIGQUIT"},
    {EXIT_TERMINATED, "terminated", "stopped by SIGTERM"},
};

} // namespace

const ExitCodeRow* exitCodeRows(std::size_t& count) {
    count = sizeof kRows / sizeof kRows[0];
    return kRows;
}

const char* errorWordFor(int exitCode) {
    for (const ExitCodeRow& row : kRows) {
        if (row.code == exitCode) {
            return row.word;
        }
    }
    return "failure";
}

const char* outcomeWordFor(int exitCode) {
    return exitCode == EXIT_OK ? "success" : errorWordFor(exitCode);
}

} // namespace pxr7
