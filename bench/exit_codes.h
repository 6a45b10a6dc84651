// The program's outcomes and their exit codes: one table of outcome, stable error word, help
// text, advice and what the outcome means for a retry. The help footer, the JSON "error" words,
// the run log's outcome words, the lanes' retries and the documentation test all read it, so
// none of them can drift from the others. Outcomes travel typed from the bus to main; only the
// edge turns one into a number (exitCodeOf).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace pxr7 {

enum class Outcome : int {
    Ok = 0,
    FailureOther = 1,
    Usage = 2,
    NoDriver = 3,
    PortError = 4,
    BridgeReprogrammed = 5, // a lead was set up or is restarting: reconnect it
    HandshakeFailed = 6,    // the meter never answered the reset
    ImageProblem = 7,
    Cancelled = 8,
    LeadSetupFailed = 9,
    NotAMeterLead = 10,   // no meter lead, or the bridge chosen is not one
    Busy = 11,            // the bridge could not be opened
    TransferStopped = 12, // the transfer stopped part-way
    VerifyFailed = 13,    // the meter reports another version than the image's
    Ambiguous = 14,       // several meter leads and nothing said which
    MeterSilent = 15,     // the meter said nothing after the upgrade
    NeedsSetup = 16,      // a lead needs setup and nobody agreed to write its EEPROM
    StationFailures = 17, // the station finished and a meter failed for good
    RecordFailed = 18,    // the record could not be created or appended to
    ServeFailed = 19,     // the dashboard could not listen on the address given
    DatabaseFailed = 20,  // the database cannot be used: newer schema, refused login, bad URL
    ResetIgnored = 21,    // the meter kept its old firmware running through every reset pulse
    RecordAltered = 22,   // history --verify: lines changed, removed or inserted
    Hangup = 129,
    Interrupted = 130,
    Quit = 131,
    Terminated = 143,
};

// What an outcome means for another transfer to the same meter on the same lead.
enum class Retry {
    Never, // trying again on this lead would not help, or is not the program's to decide
    // The meter waits in its boot loader or is restarting: a new reset pulse may take.
    AfterPulse,
    // As AfterPulse, but the pulse got no handshake, so whether the meter took it is unknown:
    // the lane listens before it gives up, since an answer on the meter's old version means its
    // reset does not take, and silence after a retry's pulse means the meter is gone or dead.
    UnansweredPulse,
};

struct ExitCodeRow {
    Outcome outcome;
    const char* word; // the stable error word; "" for success
    const char* help; // one sentence for the help footer and the documents
    // What to do next, in the person's words: the one source of the advice that `upgrade`,
    // `setup`, the station and the guide give for this outcome.
    const char* advice;
    Retry retry;
    bool stopSignal; // the program was stopped by a signal
    // What a station lane says after a meter ended so: what the station does about it itself
    // (it has retried already; it waits for the meter to be taken off) and what the person
    // does. Null: the advice above holds on a lane too.
    const char* laneAdvice = nullptr;
};

// The number the process ends with, and that JSON, the run log and the help footer show.
constexpr int exitCodeOf(Outcome outcome) {
    return static_cast<int>(outcome);
}

// Every outcome's row, in ascending order of code.
const ExitCodeRow* exitCodeRows(std::size_t& count);

// The row of an outcome; null only for a value outside the enumeration.
const ExitCodeRow* rowOf(Outcome outcome);
// The outcome of a number read back from data; none for a code the table lacks (a newer
// program's), which the reader keeps as its number.
std::optional<Outcome> outcomeOfCode(int code);

// The row of a stable error word; null for "" and for a word the table lacks (a newer
// program's).
const ExitCodeRow* rowOfWord(const std::string& word);

// The stable error word of an outcome ("" for success).
const char* errorWordFor(Outcome outcome);

// What to do after an outcome.
const char* adviceFor(Outcome outcome);
// What a station lane advises after a meter's outcome (laneAdvice, else advice).
const char* laneAdviceFor(Outcome outcome);
// The outcome in words, for people (the help column).
const char* wordsFor(Outcome outcome);

// Columns of the table.
Retry retryOf(Outcome outcome);
bool isStopSignal(Outcome outcome);

// The outcome word the run log uses: "success", or the error word.
const char* outcomeWordFor(Outcome outcome);

} // namespace pxr7
