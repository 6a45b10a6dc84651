// The program's exit codes: one table of code, stable error word, help text and advice. The help
// footer, the JSON "error" words, the run log's outcome words and the documentation test all
// read it, so none of them can drift from the others.
#pragma once

#include <cstddef>
#include <string>

namespace pxr7 {

enum ExitCode : int {
    EXIT_OK = 0,
    EXIT_FAILURE_OTHER = 1,
    EXIT_USAGE = 2,
    EXIT_NO_DRIVER = 3,
    EXIT_PORT_ERROR = 4,
    EXIT_BRIDGE_REPROGRAMMED = 5, // a lead was set up or is restarting: reconnect it
    EXIT_HANDSHAKE_FAILED = 6,    // the meter never answered the reset
    EXIT_IMAGE_PROBLEM = 7,
    EXIT_CANCELLED = 8,
    EXIT_LEAD_SETUP_FAILED = 9,
    EXIT_NOT_A_METER_LEAD = 10, // no meter lead, or the bridge chosen is not one
    EXIT_BUSY = 11,             // the bridge could not be opened
    EXIT_TRANSFER_STOPPED = 12, // the transfer stopped part-way
    EXIT_VERIFY_FAILED = 13,    // the meter reports another version than the image's
    EXIT_AMBIGUOUS = 14,        // several meter leads and nothing said which
    EXIT_METER_SILENT = 15,     // the meter said nothing after the upgrade
    EXIT_NEEDS_SETUP = 16,      // a lead needs setup and nobody agreed to write its EEPROM
    EXIT_STATION_FAILURES = 17, // the station finished and a meter failed for good
    EXIT_RECORD_FAILED = 18,    // the record could not be created or appended to
    EXIT_SERVE_FAILED = 19,     // the dashboard could not listen on the address given
    EXIT_DATABASE_FAILED = 20,  // the database cannot be used: newer schema, refused login, bad URL
    EXIT_RESET_IGNORED = 21,    // the meter kept its old firmware running through every reset pulse
    EXIT_RECORD_ALTERED = 22,   // history --verify: lines changed, removed or inserted
    EXIT_HANGUP = 129,
    EXIT_INTERRUPTED = 130,
    EXIT_QUIT = 131,
    EXIT_TERMINATED = 143,
};

struct ExitCodeRow {
    int code;
    const char* word; // the stable error word; "" for success
    const char* help; // one sentence for the help footer and the documents
    // What to do next, in the person's words: the one source of the advice that `upgrade`,
    // `setup`, the station and the guide give for this outcome.
    const char* advice;
    // A meter that ended so may be tried again on the same lead with a new reset pulse: it is
    // waiting in its boot loader or restarting.
    bool retryable;
    bool stopSignal; // the program was stopped by a signal
    // What a station lane says after a meter ended so: what the station does about it itself
    // (it has retried already; it waits for the meter to be taken off) and what the person
    // does. Null: the advice above holds on a lane too.
    const char* laneAdvice = nullptr;
};

// Every exit code, in ascending order.
const ExitCodeRow* exitCodeRows(std::size_t& count);

// The row of a stable error word; null for "" and for a word the table lacks (a newer
// program's).
const ExitCodeRow* rowOfWord(const std::string& word);

// The stable error word of an exit code ("" for success, "failure" for an unknown code).
const char* errorWordFor(int exitCode);

// What to do after an outcome ("" for an unknown code).
const char* adviceFor(int exitCode);
// What a station lane advises after a meter's outcome with this code (laneAdvice, else advice).
const char* laneAdviceFor(int exitCode);
// The outcome in words, for people (the help column; "failure" for an unknown code).
const char* wordsFor(int exitCode);

// Columns of the table for a code (false for an unknown code).
bool isRetryable(int exitCode);
bool isStopSignal(int exitCode);

// The outcome word the run log uses: "success", or the error word.
const char* outcomeWordFor(int exitCode);

} // namespace pxr7
