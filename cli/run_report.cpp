#include "run_report.h"

#include "json_writer.h"
#include "messages.h"
#include "printable.h"
#include "record.h"
#include "run_log.h"
#include "terminal.h"
#include "unit_ids.h"

#include <cstdio>

namespace pxr7 {

namespace {

std::string shownVersion(const std::string& version) {
    return version.empty() ? "-" : printable(version);
}

} // namespace

void addRunFields(JsonObject& object, const MeterRun& run) {
    object.add("exit_code", exitCodeOf(run.code()))
        .add("error", run.code() == Outcome::Ok ? nullptr : errorWordFor(run.code()))
        .add("result", resultWord(run))
        .addTextOrNull("serial", run.serial)
        .addTextOrNull("version_before", run.versionBefore)
        .addTextOrNull("version_after", run.versionAfter)
        .add("records_sent", static_cast<long long>(run.recordsSent))
        .add("records_total", static_cast<long long>(run.recordsTotal))
        .add("duration_s", run.seconds);
}

std::string recordPathFor(const std::string& given) {
    return resolveStatePath(given, kRecordFileName);
}

void warnRecordProblem(const std::string& path, const std::string& problem) {
    terminal().line(LineKind::Warning, "pxr7: warning: could not write the record " +
                                           printable(path) + ": " + problem);
}

void recordCurrent(UnitLedger& ledger, const std::string& path,
                   const std::vector<MeterRun>& settled) {
    for (const MeterRun& run : settled) {
        std::string problem;
        if (run.outcome() == MeterOutcome::Current && !ledger.recordUnserved(run, problem)) {
            warnRecordProblem(path, problem);
            return;
        }
    }
}

void logRuns(const std::string& logPath, const std::vector<MeterRun>& runs, Outcome outcome) {
    if (logPath.empty()) {
        return;
    }
    // A command that reached no meter is a run all the same: its line says why.
    std::vector<MeterRun> logged = runs;
    if (logged.empty()) {
        logged.emplace_back();
        logged.back().endWith(outcome);
    }
    for (const MeterRun& run : logged) {
        RunLogEntry entry;
        entry.command = "upgrade";
        entry.serial = run.serial;
        entry.versionBefore = run.versionBefore;
        entry.versionAfter = run.versionAfter;
        entry.outcome = outcomeWordFor(run.code());
        entry.exitCode = exitCodeOf(run.code());
        appendRunLog(logPath, entry);
    }
}

void printRunResult(const MeterRun& run) {
    if (run.outcome() == MeterOutcome::Current) {
        terminal().line(LineKind::Result,
                        std::string(resultWord(run)) + ": " + shownVersion(run.versionAfter));
    } else if (!run.versionAfter.empty()) {
        terminal().line(LineKind::Result,
                        (run.versionBefore.empty() ? std::string("(no answer)")
                                                   : printable(run.versionBefore)) +
                            " -> " + printable(run.versionAfter));
    }
    printDiagnosis(run.diagnosis);
    if (run.outcome() == MeterOutcome::Failed) {
        printAdvice(run.code());
    }
}

void printSummary(const std::vector<MeterRun>& runs) {
    // A narrow terminal gets what matters most: each meter and its result.
    const bool narrow = terminal().live() && terminal().laneWidth() < 64;
    char line[256];
    std::snprintf(line, sizeof line, narrow ? "\n%-16s  %s" : "\n%-16s  %-19s  %-9s  %s", "Serial",
                  "Result", "Records", "Before -> after");
    terminal().line(LineKind::Result, line);
    for (const MeterRun& run : runs) {
        // A current meter was sent nothing and asked for no count of records.
        const std::string records =
            run.outcome() == MeterOutcome::Current
                ? "-"
                : std::to_string(run.recordsSent) + "/" + std::to_string(run.recordsTotal);
        const char* result = resultWord(run);
        std::snprintf(line, sizeof line, narrow ? "%-16s  %s" : "%-16s  %-19s  %-9s  %s -> %s",
                      printable(run.serial).c_str(), result, records.c_str(),
                      shownVersion(run.versionBefore).c_str(),
                      shownVersion(run.versionAfter).c_str());
        terminal().line(LineKind::Result, line);
    }
    // Each meter's diagnosis says which meter it is about.
    for (const MeterRun& run : runs) {
        const std::string words = diagnosisWords(run.diagnosis);
        printDiagnosis(words == run.diagnosis ? run.diagnosis
                                              : "pxr7: " + printable(run.serial) + ": " + words);
    }
}

} // namespace pxr7
