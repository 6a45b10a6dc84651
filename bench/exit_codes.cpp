#include "exit_codes.h"

namespace pxr7 {

namespace {

constexpr ExitCodeRow kRows[] = {
    {Outcome::Ok, "", "success", "nothing", Retry::Never, false},
    {Outcome::FailureOther, "failure", "other failure",
     "read the line above it; run again with --verbose and report what it says", Retry::Never,
     false, "read the station's line above; take the meter off and put it back to try it again"},
    {Outcome::Usage, "usage", "usage error",
     "read the line it printed, then pxr7 COMMAND --help; in scripts and with --json, add --yes",
     Retry::Never, false},
    {Outcome::NoDriver, "no_driver",
     "the USB driver (D2XX library, or libftdi1) could not be loaded",
     "Windows: install FTDI's D2XX driver. Linux: install the libftdi1 package, or FTDI's "
     "libftd2xx.so, or name it with --driver PATH",
     Retry::Never, false},
    {Outcome::PortError, "port_error",
     "USB port error: the meter's bridge could not be opened, or is gone",
     "check the lead and its plug, then run again; pxr7 list shows what is there", Retry::Never,
     false,
     "check the lead and its plug; the station opens the lead again by itself and serves the meter "
     "once it has been taken off and put back"},
    {Outcome::BridgeReprogrammed, "reconnect",
     "the lead was set up or is restarting: reconnect the USB lead and run the command again",
     "unplug the lead, plug it in again, and run the same command again", Retry::Never, false},
    {Outcome::HandshakeFailed, "handshake_timeout",
     "the meter never answered the reset (handshake not received)",
     "is the meter switched on, its battery charged, the lead seated in the meter? Run again",
     Retry::UnansweredPulse, false,
     "check that the meter is switched on, its battery charged and the lead seated in it, then "
     "take the meter off and put it back: the station serves it again"},
    {Outcome::ImageProblem, "image_problem",
     "the firmware image the program carries could not be used",
     "the program is damaged: install it again (check SHA256SUMS) and report it", Retry::Never,
     false},
    {Outcome::Cancelled, "cancelled", "cancelled by the user", "nothing was changed", Retry::Never,
     false},
    {Outcome::LeadSetupFailed, "setup_failed",
     "the lead's settings could not be written to its EEPROM, or did not hold",
     "run pxr7 setup again; if it fails again, the lead is faulty: use another", Retry::Never,
     false},
    {Outcome::NotAMeterLead, "no_meter_lead",
     "no meter lead, or the bridge chosen is not one; it was left alone",
     "pxr7 list: is the lead plugged in, and did you choose its serial number or index?",
     Retry::Never, false},
    {Outcome::Busy, "busy",
     "busy: the bridge could not be opened (another program or the kernel's serial driver "
     "holds it, or no permission)",
     "the line above says who holds the lead or what access is missing, and what to do; on Linux "
     "see \"Access to the lead\"",
     Retry::Never, false,
     "the station opens the lead again by itself once it is free, and serves the meter once it has "
     "been taken off and put back"},
    {Outcome::TransferStopped, "transfer_stopped",
     "the transfer stopped part-way: the meter waits in its boot loader",
     "the meter waits in its boot loader without working firmware: leave it plugged in and upgrade "
     "it again (pxr7 list shows it as \"no answer\")",
     Retry::AfterPulse, false,
     "it has no working firmware now and answers nothing, so the station cannot see it again: "
     "upgrade it with pxr7 upgrade on a lead the station does not use"},
    {Outcome::VerifyFailed, "verification_failed",
     "verification failed: the meter reports another version",
     "upgrade it again; if it persists, report both versions", Retry::Never, false,
     "take the meter off and put it back: the station upgrades it again; if it fails again, report "
     "both versions"},
    {Outcome::Ambiguous, "ambiguous",
     "several meter leads and none chosen: use --serial or --index",
     "choose one with --serial or --index, or take them all with --all", Retry::Never, false},
    {Outcome::MeterSilent, "meter_silent", "the meter did not answer after the upgrade",
     "switch the meter off and on, then pxr7 list; a meter that needs longer to start needs a "
     "longer wait: verify_seconds in the station's bench file, or pxr7 upgrade --no-verify",
     Retry::AfterPulse, false,
     "switch the meter off and on, then take it off and put it back: the station checks its "
     "version again; a meter that needs longer to start needs a longer verify_seconds in the bench "
     "file"},
    {Outcome::NeedsSetup, "needs_setup",
     "a lead needs its EEPROM set up first and nothing was written: run the setup command "
     "shown, or add --setup",
     "nothing was written: if the bridge really is the meter's lead, run the pxr7 setup command "
     "shown, or add --setup to the upgrade",
     Retry::Never, false},
    {Outcome::StationFailures, "station_failures",
     "the station finished and at least one meter failed for good",
     "see the record (pxr7 history), and upgrade each failed meter again with pxr7 upgrade",
     Retry::Never, false},
    {Outcome::RecordFailed, "record_failed",
     "the record could not be created or appended to: no meter is started without it",
     "the line names the file and the reason: free the disk, fix the folder's permissions, or name "
     "a regular file with --record FILE; the station starts no meter without it",
     Retry::Never, false},
    {Outcome::ServeFailed, "serve_failed",
     "the dashboard could not listen on the address given: nothing was started",
     "give a port no other program uses (0 picks a free one), or an address of this PC; the line "
     "says why",
     Retry::Never, false},
    {Outcome::DatabaseFailed, "database_failed",
     "the database cannot be used: its URL is wrong, it refused the login, or its tables are newer "
     "than this program",
     "check the postgresql:// URL and the password file (PGPASSFILE), or use the newer pxr7 that "
     "made the tables; the line says why",
     Retry::Never, false},
    {Outcome::ResetIgnored, "reset_ignored",
     "the meter kept running its old firmware through the reset pulses: its reset does not take",
     "check the lead's DTR wire and the meter's reset input (a lead with DTR not wired, or a "
     "meter that ignores it), then upgrade it again",
     Retry::Never, false,
     "check the lead's DTR wire and the meter's reset input, then take the meter off and put it "
     "back: the station serves it again"},
    {Outcome::RecordAltered, "record_altered",
     "history --verify found lines changed, removed or inserted after they were written",
     "the lines it names are not as their bench wrote them: compare them with the collector's "
     "database (pxr7 history --verify --database URL) or a backup, and find out who changed them",
     Retry::Never, false},
    {Outcome::Hangup, "hangup", "stopped by SIGHUP",
     "if it stopped during a transfer, upgrade the meter again", Retry::Never, true},
    {Outcome::Interrupted, "interrupted", "interrupted (Ctrl+C twice during a transfer)",
     "the first Ctrl+C during a transfer only warns; the second stops it: upgrade the meter again",
     Retry::Never, true},
    {Outcome::Quit, "quit", "stopped by SIGQUIT",
     "if it stopped during a transfer, upgrade the meter again", Retry::Never, true},
    {Outcome::Terminated, "terminated", "stopped by SIGTERM",
     "if it stopped during a transfer, upgrade the meter again", Retry::Never, true},
};

} // namespace

const ExitCodeRow* exitCodeRows(std::size_t& count) {
    count = sizeof kRows / sizeof kRows[0];
    return kRows;
}

const ExitCodeRow* rowOf(Outcome outcome) {
    for (const ExitCodeRow& row : kRows) {
        if (row.outcome == outcome) {
            return &row;
        }
    }
    return nullptr;
}

std::optional<Outcome> outcomeOfCode(int code) {
    for (const ExitCodeRow& row : kRows) {
        if (exitCodeOf(row.outcome) == code) {
            return row.outcome;
        }
    }
    return std::nullopt;
}

const ExitCodeRow* rowOfWord(const std::string& word) {
    for (const ExitCodeRow& row : kRows) {
        if (!word.empty() && word == row.word) {
            return &row;
        }
    }
    return nullptr;
}

const char* errorWordFor(Outcome outcome) {
    const ExitCodeRow* row = rowOf(outcome);
    return row != nullptr ? row->word : "failure";
}

const char* adviceFor(Outcome outcome) {
    const ExitCodeRow* row = rowOf(outcome);
    return row != nullptr ? row->advice : "";
}

const char* laneAdviceFor(Outcome outcome) {
    const ExitCodeRow* row = rowOf(outcome);
    return row == nullptr ? "" : row->laneAdvice != nullptr ? row->laneAdvice : row->advice;
}

const char* wordsFor(Outcome outcome) {
    const ExitCodeRow* row = rowOf(outcome);
    return row != nullptr ? row->help : "failure";
}

Retry retryOf(Outcome outcome) {
    const ExitCodeRow* row = rowOf(outcome);
    return row != nullptr ? row->retry : Retry::Never;
}

bool isStopSignal(Outcome outcome) {
    const ExitCodeRow* row = rowOf(outcome);
    return row != nullptr && row->stopSignal;
}

const char* outcomeWordFor(Outcome outcome) {
    return outcome == Outcome::Ok ? "success" : errorWordFor(outcome);
}

} // namespace pxr7
