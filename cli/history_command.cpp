// pxr7 history: sums up the record (record.h) per bench and lead, then shows its last entries. The
// record is a file anyone can edit: what cannot be read is counted and skipped.
#include "commands.h"
#include "history.h"
#include "history_options.h"
#include "json_text.h"
#include "json_writer.h"
#include "printable.h"
#include "record.h"
#include "served_dashboard.h"
#include "stop_signals.h"
#include "terminal.h"
#include "terminal_caps.h"
#include "utf8.h"

#if defined(PXR7_HAVE_DATABASE)
#include "record_lines.h"
#include "schema.h"
#endif

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <sys/stat.h>

namespace pxr7 {

namespace {

std::string shown(const std::string& text) {
    return text.empty() ? "-" : printable(text);
}

// A name people typed (bench, lane, unit id, operator): as typed on a UTF-8 terminal.
std::string shownName(const std::string& name) {
    return name.empty() ? "-" : printableName(name, stdoutTakesUtf8());
}

JsonObject entryJson(const RecordEntry& entry) {
    JsonObject item;
    item.add("command", entry.command)
        .add("finished", entry.finished)
        .add("lead_serial", entry.leadSerial)
        .addTextOrNull("lead_location", entry.leadLocation)
        .addNameOrNull("lane_name", entry.laneName)
        .addNameOrNull("unit_id", entry.unitId)
        .addNameOrNull("operator", entry.operatorName)
        .add("result", entry.result)
        .addTextOrNull("version_before", entry.versionBefore)
        .addTextOrNull("version_after", entry.versionAfter)
        .add("attempts", entry.attempts);
    return item;
}

std::vector<JsonObject> leadsJson(const std::vector<LeadHistory>& leads) {
    std::vector<JsonObject> items;
    for (const LeadHistory& lead : leads) {
        items.emplace_back();
        items.back()
            .add("lead_serial", lead.serial)
            .addTextOrNull("lead_location", lead.location)
            .add("ok", lead.ok)
            .add("current", lead.current)
            .add("failed", lead.failed)
            .add("last", entryJson(lead.last));
    }
    return items;
}

void printJson(const std::string& path, bool found, const RecordHistory& history) {
    std::vector<JsonObject> benches;
    for (const BenchHistory& bench : history.benches) {
        benches.emplace_back();
        benches.back()
            .addNameOrNull("bench", bench.name)
            .add("ok", bench.ok)
            .add("current", bench.current)
            .add("failed", bench.failed)
            .add("leads", leadsJson(bench.leads));
    }
    std::vector<JsonObject> last;
    for (const RecordEntry& entry : history.last) {
        last.push_back(entryJson(entry));
    }
    JsonObject()
        .add("event", "history")
        .add("record", path)
        .add("found", found)
        .add("entries", history.entries)
        .add("unreadable", history.unreadable)
        .add("benches", benches)
        .add("leads", leadsJson(history.leads))
        .add("last", last)
        .print();
}

std::string versions(const RecordEntry& entry) {
    return shown(entry.versionBefore) + " -> " + shown(entry.versionAfter);
}

// A unit's lines in full, one block each, newest last: every field as the line holds it.
void printUnitLines(const RecordHistory& history) {
    for (std::size_t i = 0; i < history.lastLines.size(); ++i) {
        terminal().line(LineKind::Result, "\nLine " + std::to_string(i + 1) + " of " +
                                              std::to_string(history.lastLines.size()) + ":");
        const JsonValue object = parseJsonLine(history.lastLines[i]);
        for (auto item = object.begin(); item != object.end(); ++item) {
            const JsonValue& value = item.value();
            const std::string& key = item.key();
            const bool name =
                key == "bench" || key == "lane_name" || key == "unit_id" || key == "operator";
            const std::string text = value.is_null()      ? "-"
                                     : !value.is_string() ? printable(value.dump())
                                     : name               ? shownName(nameOf(value))
                                                          : shown(textOf(value));
            terminal().line(LineKind::Result, "  " + printable(item.key()) + ": " + text);
        }
    }
}

std::string meters(int count) {
    return std::to_string(count) + (count == 1 ? " meter" : " meters");
}

void printLeads(const std::vector<LeadHistory>& leads) {
    Terminal& out = terminal();
    char line[512];
    std::snprintf(line, sizeof line, "\n%-16s  %-10s  %4s  %7s  %6s  %-19s  %s", "Lead", "Location",
                  "OK", "Current", "Failed", "Last", "Before -> after");
    out.line(LineKind::Result, line);
    for (const LeadHistory& lead : leads) {
        std::snprintf(line, sizeof line, "%-16s  %-10s  %4d  %7d  %6d  %-19s  %s",
                      shown(lead.serial).c_str(), shown(lead.location).c_str(), lead.ok,
                      lead.current, lead.failed, shown(lead.last.result).c_str(),
                      versions(lead.last).c_str());
        out.line(LineKind::Result, line);
    }
}

// Per bench, each with its leads, when there is more than one or the summary is of the database
// (which holds every bench); a record file of one bench as before, per lead.
void printText(const std::string& path, const RecordHistory& history, std::size_t lastCount,
               const HistoryOptions& options) {
    Terminal& out = terminal();
    std::string head =
        "Record " + printable(path) +
        (options.benchName.empty() ? "" : ", bench " + printable(options.benchName)) +
        (options.unitId.empty() ? "" : ", unit " + printable(options.unitId)) + ": " +
        meters(history.entries);
    if (history.unreadable > 0) {
        head += " (" + std::to_string(history.unreadable) +
                (history.unreadable == 1 ? " unreadable line" : " unreadable lines") + " skipped)";
    }
    out.line(LineKind::Result, head);
    if (history.benches.size() > 1 || !options.database.empty()) {
        for (const BenchHistory& bench : history.benches) {
            out.line(LineKind::Result, "\nBench " + shownName(bench.name) + ": " +
                                           meters(bench.ok + bench.current + bench.failed) + ", " +
                                           std::to_string(bench.ok) + " ok, " +
                                           std::to_string(bench.current) + " current, " +
                                           std::to_string(bench.failed) + " failed");
            printLeads(bench.leads);
        }
    } else {
        printLeads(history.leads);
    }
    char line[512];
    if (lastCount == 0 || history.last.empty()) {
        return;
    }
    if (!options.unitId.empty()) {
        printUnitLines(history);
        return;
    }
    out.line(LineKind::Result, "\nLast " + std::to_string(history.last.size()) + ":");
    std::snprintf(line, sizeof line, "%-20s  %-7s  %-16s  %-16s  %-12s  %-19s  %s", "Finished",
                  "Command", "Lane", "Unit id", "Operator", "Result", "Before -> after");
    out.line(LineKind::Result, line);
    for (const RecordEntry& entry : history.last) {
        std::snprintf(
            line, sizeof line, "%-20s  %-7s  %-16s  %-16s  %-12s  %-19s  %s",
            shown(entry.finished).c_str(), shown(entry.command).c_str(),
            (entry.laneName.empty() ? shown(entry.leadSerial) : shownName(entry.laneName)).c_str(),
            shownName(entry.unitId).c_str(), shownName(entry.operatorName).c_str(),
            shown(entry.result).c_str(), versions(entry).c_str());
        out.line(LineKind::Result, line);
    }
}

// The history pages until Ctrl+C, SIGTERM or SIGHUP; the record is read again as it grows.
Outcome serveHistory(const std::string& path, const HistoryOptions& options) {
    if (path.empty()) {
        terminal().line(LineKind::Error, "pxr7: the environment names no home for the record: "
                                         "give one with --record FILE.");
        return Outcome::Usage;
    }
    PageAccess access;
    if (!pageAccessOf(options.access, access)) {
        return Outcome::Usage;
    }
    ServedDashboard dashboard(path, nullptr);
    if (!dashboard.start(options.serve, access)) {
        return Outcome::ServeFailed;
    }
    installStopSignals();
    terminal().line(LineKind::Info,
                    "Serving the history of " + printable(path) + ". Ctrl+C ends it.");
    waitForStopSignal();
    dashboard.stop();
    return Outcome::Ok;
}

// One unit's lines are few, and all of them are what was asked for.
std::size_t lastCountOf(const HistoryOptions& options) {
    return options.unitId.empty() ? static_cast<std::size_t>(options.lastEntries)
                                  : static_cast<std::size_t>(-1);
}

void printHistory(const HistoryOptions& options, const std::string& source, bool found,
                  const RecordHistory& history) {
    if (options.json) {
        printJson(source, found, history);
    } else if (!found) {
        terminal().line(LineKind::Result, "No record yet in " + printable(source) + ".");
    } else {
        printText(source, history, lastCountOf(options), options);
    }
}

#if defined(PXR7_HAVE_DATABASE)
// The same summary over every bench the collector has gathered, oldest line first.
Outcome databaseHistory(const HistoryOptions& options) {
    const std::string shownUrl = urlWithoutPassword(options.database);
    PgConnection connection;
    StoredRecord found = StoredRecord::None;
    int version = 0;
    DbStatus status = connection.connect(options.database);
    if (status.ok()) {
        status = findStoredRecord(connection, found, version);
    }
    RecordSummer summer(lastCountOf(options), options.unitId, options.benchName);
    if (status.ok() && found == StoredRecord::Found) {
        status = forEachStoredLine(connection, options.unitId, options.benchName,
                                   [&summer](const std::string& line) { summer.add(line); });
    }
    if (!status.ok() || found == StoredRecord::Newer) {
        const std::string why = !status.ok() ? status.message
                                             : "its tables are version " + std::to_string(version) +
                                                   "; this pxr7 reads version " +
                                                   std::to_string(kSchemaVersion);
        terminal().line(LineKind::Error, "pxr7: cannot read the database " + printable(shownUrl) +
                                             ": " + printable(why));
        return Outcome::DatabaseFailed;
    }
    printHistory(options, shownUrl, found == StoredRecord::Found, summer.finish());
    return Outcome::Ok;
}
#else
Outcome databaseHistory(const HistoryOptions&) {
    return Outcome::DatabaseFailed; // the runner has said why
}
#endif

Outcome summarise(const HistoryOptions& options) {
    if (!options.database.empty()) {
        return databaseHistory(options);
    }
    const std::string path = resolveStatePath(options.recordPath, kRecordFileName);
    if (!options.serve.empty()) {
        return serveHistory(path, options);
    }
    const std::size_t lastCount = lastCountOf(options);
    struct stat status {};
    errno = 0;
    if (path.empty() || (stat(path.c_str(), &status) != 0 && errno == ENOENT)) {
        if (options.json) {
            printJson(path, false, RecordHistory());
        } else {
            terminal().line(LineKind::Result,
                            "No record yet" +
                                (path.empty() ? "." : " at " + printable(path) + "."));
        }
        return Outcome::Ok;
    }
    // Only a regular file is read: a FIFO would hold the command up for ever.
    std::ifstream record;
    if ((status.st_mode & S_IFMT) == S_IFREG) {
        record.open(path, std::ios::binary);
    }
    if (!record.is_open()) {
        const std::string why = (status.st_mode & S_IFMT) != S_IFREG && errno == 0
                                    ? "not a regular file"
                                    : std::strerror(errno);
        terminal().line(LineKind::Error,
                        "pxr7: cannot read the record " + printable(path) + ": " + why);
        return Outcome::FailureOther;
    }
    printHistory(options, path, true,
                 summariseRecord(record, lastCount, options.unitId, options.benchName));
    return Outcome::Ok;
}

void addHistoryOptions(CLI::App& command, HistoryOptions& options) {
    addRecordOption(command, options.recordPath, "read FILE instead of the default record");
    command.add_option("--last", options.lastEntries, "show the last N entries (default 10)")
        ->option_text("N")
        ->check(CLI::Range(0, 100000));
    command.add_option("--unit", options.unitId, "show everything done to the unit with id ID")
        ->option_text("ID")
        ->check(notEmpty);
    CLI::Option* bench =
        command.add_option("--bench", options.benchName, "sum up only the lines of the bench NAME")
            ->option_text("NAME")
            ->check(notEmpty);
    CLI::Option* serve = addAddressOption(command, "--serve", options.serve,
                                          "serve the history pages on [HOST:]PORT until\nCtrl+C");
    bench->excludes(serve);
    CLI::Option* database = addDatabaseOption(command, options.database,
                                              "read the record of every bench from the\n"
                                              "database at URL, not a record file");
    database->excludes(serve);
    database->excludes(command.get_option("--record"));
    addPageAccessOptions(command, options.access, true, serve);
    command
        .add_flag("--verify", options.verify,
                  "walk the record's chain and say which lines\nwere changed, removed or inserted")
        ->excludes(serve)
        ->excludes(bench)
        ->excludes(command.get_option("--unit"))
        ->excludes(command.get_option("--last"));
}

class HistoryCommand final : public CliCommand {
public:
    const char* name() const override { return "history"; }
    const char* description() const override {
        return "sum up the record of upgraded meters, per lead";
    }
    void addOptions(CLI::App& command) override { addHistoryOptions(command, options_); }
    CommandNeeds needs() const override {
        CommandNeeds needs;
        needs.database = !options_.database.empty();
        return needs;
    }
    Outcome run(const ProgramOptions& program, const Opening&) override {
        options_.json = program.json;
        return options_.verify ? runHistoryVerify(options_) : summarise(options_);
    }

private:
    HistoryOptions options_;
};

} // namespace

std::unique_ptr<CliCommand> makeHistoryCommand() {
    return std::make_unique<HistoryCommand>();
}

} // namespace pxr7
