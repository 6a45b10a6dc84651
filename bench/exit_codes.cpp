#include "exit_codes.h"

namespace pxr7 {

namespace {

constexpr ExitCodeRow kRows[] = {
    {EXIT_OK, "", "success", false, false},
    {EXIT_FAILURE_OTHER, "failure", "other failure", false, false},
    {EXIT_USAGE, "usage", "usage error", false, false},
    {EXIT_NO_DRIVER, "no_driver", "the USB driver (D2XX library, or libftdi1) could not be loaded",
     false, false},
    {EXIT_PORT_ERROR, "port_error",
     "USB port error: the meter's bridge could not be opened, or is gone", false, false},
    {EXIT_BRIDGE_REPROGRAMMED, "reconnect",
     "the lead was set up or is restarting: reconnect the USB lead and run the command again",
     false, false},
    {EXIT_HANDSHAKE_FAILED, "handshake_timeout",
     "the meter never answered the reset (handshake not received)", true, false},
    {EXIT_IMAGE_PROBLEM, "image_problem",
     "the firmware image the program carries could not be used", false, false},
    {EXIT_CANCELLED, "cancelled", "cancelled by the user", false, false},
    {EXIT_LEAD_SETUP_FAILED, "setup_failed",
     "the lead's settings could not be written to its EEPROM, or did not hold", false, false},
    {EXIT_NOT_A_METER_LEAD, "no_meter_lead",
     "no meter lead, or the bridge chosen is not one; it was left alone", false, false},
    {EXIT_BUSY, "busy",
     "busy: the bridge could not be opened (another program or the kernel's serial driver "
     "holds it, or no permission)",
     false, false},
    {EXIT_TRANSFER_STOPPED, "transfer_stopped",
     "the transfer stopped part-way: the meter waits in its boot loader", true, false},
    {EXIT_VERIFY_FAILED, "verification_failed",
     "verification failed: the meter reports another version", false, false},
    {EXIT_AMBIGUOUS, "ambiguous", "several meter leads and none chosen: use --serial or --index",
     false, false},
    {EXIT_METER_SILENT, "meter_silent", "the meter did not answer after the upgrade", true, false},
    {EXIT_NEEDS_SETUP, "needs_setup",
     "a lead needs its EEPROM set up first and nothing was written: run the setup command "
     "shown, or add --setup",
     false, false},
    {EXIT_STATION_FAILURES, "station_failures",
     "the station finished and at least one meter failed for good", false, false},
    {EXIT_RECORD_FAILED, "record_failed",
     "the record could not be created or appended to: no meter is started without it", false,
     false},
    {EXIT_HANGUP, "hangup", "stopped by SIGHUP", false, true},
    {EXIT_INTERRUPTED, "interrupted", "interrupted (Ctrl+C twice during a transfer)", false, true},
    {EXIT_QUIT, "quit", "stopped by SIGQUIT", false, true},
    {EXIT_TERMINATED, "terminated", "stopped by SIGTERM", false, true},
};

const ExitCodeRow* rowFor(int exitCode) {
    for (const ExitCodeRow& row : kRows) {
        if (row.code == exitCode) {
            return &row;
        }
    }
    return nullptr;
}

} // namespace

const ExitCodeRow* exitCodeRows(std::size_t& count) {
    count = sizeof kRows / sizeof kRows[0];
    return kRows;
}

const char* errorWordFor(int exitCode) {
    const ExitCodeRow* row = rowFor(exitCode);
    return row != nullptr ? row->word : "failure";
}

bool isRetryable(int exitCode) {
    const ExitCodeRow* row = rowFor(exitCode);
    return row != nullptr && row->retryable;
}

bool isStopSignal(int exitCode) {
    const ExitCodeRow* row = rowFor(exitCode);
    return row != nullptr && row->stopSignal;
}

const char* outcomeWordFor(int exitCode) {
    return exitCode == EXIT_OK ? "success" : errorWordFor(exitCode);
}

} // namespace pxr7
