#include "record.h"

#include "exit_codes.h"
#include "meter_run.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace pxr7 {

namespace {

std::string isoTime(std::time_t when) {
    std::tm utc{};
#if defined(_WIN32)
    if (gmtime_s(&utc, &when) != 0) {
        return "";
    }
#else
    if (gmtime_r(&when, &utc) == nullptr) {
        return "";
    }
#endif
    char stamp[32] = "";
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return stamp;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

} // namespace

std::string utcNow() {
    return isoTime(std::time(nullptr));
}

std::string resolveProgramPath(ProgramFolder folder, const std::string& given,
                               const char* fileName) {
    if (!given.empty()) {
        return given;
    }
    const bool state = folder == ProgramFolder::State;
#if defined(_WIN32)
    const std::string base = environment(state ? "LOCALAPPDATA" : "APPDATA");
    return base.empty() ? "" : base + "\\pxr7\\" + fileName;
#else
    const std::string xdg = environment(state ? "XDG_STATE_HOME" : "XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg[0] == '/') {
        return xdg + "/pxr7/" + fileName;
    }
    const std::string home = environment("HOME");
    return home.empty() ? "" : home + (state ? "/.local/state/pxr7/" : "/.config/pxr7/") + fileName;
#endif
}

std::string resolveStatePath(const std::string& given, const char* fileName) {
    return resolveProgramPath(ProgramFolder::State, given, fileName);
}

std::string defaultRecordPath() {
    return resolveStatePath("", kRecordFileName);
}

RecordEntry recordEntryFor(const MeterRun& run, const char* command) {
    RecordEntry entry;
    entry.command = command;
    const std::time_t now = std::time(nullptr);
    entry.finished = isoTime(now);
    entry.started = isoTime(now - static_cast<std::time_t>(run.seconds + 0.5));
    entry.leadSerial = run.serial;
    entry.leadIndex = run.index;
    entry.laneName = run.laneName;
    entry.unitId = run.unitId;
    entry.leadLocation = run.location ? locationText(*run.location) : "";
    entry.result = resultWord(run);
    entry.attempts = run.attempts;
    entry.versionBefore = run.versionBefore;
    entry.versionAfter = run.versionAfter;
    entry.recordsSent = run.recordsSent;
    entry.recordsTotal = run.recordsTotal;
    for (const AttemptResult& attempt : run.attemptResults) {
        entry.attemptResults.push_back({errorWordFor(attempt.outcome), attempt.recordsSent});
        if (attempt.outcome == Outcome::Ok) {
            entry.attemptResults.back().result = "ok";
        }
    }
    entry.furthestAttempt = run.furthestAttempt;
    entry.furthestRecords = run.furthestRecords;
    entry.seconds = run.seconds;
    return entry;
}

std::string locationText(std::uint32_t location) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(location));
    return text;
}

} // namespace pxr7
