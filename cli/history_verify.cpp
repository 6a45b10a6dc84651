// pxr7 history --verify: the record's chain walked (record_verify.h), from the record file or
// from the collector's database, and each break said where it is. Its own exit code when
// anything is not as it was written.
#include "commands.h"
#include "history_options.h"
#include "json_writer.h"
#include "printable.h"
#include "record.h"
#include "record_verify.h"
#include "terminal.h"

#if defined(PXR7_HAVE_DATABASE)
#include "record_lines.h"
#include "schema.h"
#endif

#include <fstream>

#include <sys/stat.h>

namespace pxr7 {

namespace {

const char* breakWord(ChainBreak kind) {
    switch (kind) {
    case ChainBreak::Changed:
        return "changed";
    case ChainBreak::Removed:
        return "removed";
    case ChainBreak::Inserted:
        return "inserted";
    case ChainBreak::EndsEarly:
        return "ends_early";
    }
    return "";
}

// Where a finding is: the file's line, or the stream and seq alone in the database.
std::string placeOf(const ChainFinding& found, bool fromFile) {
    const std::string seq = found.kind == ChainBreak::Removed || found.kind == ChainBreak::EndsEarly
                                ? ""
                                : ", seq " + std::to_string(found.seq);
    const std::string where = "stream " + printable(found.stream) + seq;
    return fromFile && found.line > 0 ? "Line " + std::to_string(found.line) + " (" + where + ")"
                                      : "In " + where;
}

void printFindings(const std::string& source, const ChainReport& report, bool fromFile,
                   long long quarantined, bool json) {
    for (const ChainFinding& found : report.findings) {
        if (json) {
            JsonObject event;
            event.add("event", "verify_break").add("break", breakWord(found.kind));
            event.add("stream", found.stream).add("seq", static_cast<long long>(found.seq));
            event.add("seq_to", static_cast<long long>(found.seqTo));
            if (fromFile && found.line > 0) {
                event.add("line", static_cast<long long>(found.line));
            } else {
                event.add("line", static_cast<const char*>(nullptr));
            }
            event.add("why", found.why).print();
            continue;
        }
        terminal().line(LineKind::Warning,
                        placeOf(found, fromFile) + ": " + breakWord(found.kind) + ": " + found.why);
    }
    if (json) {
        JsonObject summary;
        summary.add("event", "verify").add("source", source);
        summary.add("streams", static_cast<long long>(report.streams));
        summary.add("chained", static_cast<long long>(report.chained));
        summary.add("unchained", static_cast<long long>(report.unchained));
        summary.add("unreadable", static_cast<long long>(report.unreadable));
        if (quarantined >= 0) {
            summary.add("quarantined", quarantined);
        }
        summary.add("breaks", static_cast<long long>(report.findings.size()))
            .add("holds", report.holds())
            .print();
        return;
    }
    std::string text = printable(source) + ": " + std::to_string(report.streams) +
                       (report.streams == 1 ? " stream, " : " streams, ") +
                       std::to_string(report.chained) + " lines chained";
    text += report.unchained > 0 ? ", " + std::to_string(report.unchained) + " from before streams"
                                 : "";
    text += report.unreadable > 0 ? ", " + std::to_string(report.unreadable) + " unreadable" : "";
    text += quarantined > 0 ? ", " + std::to_string(quarantined) + " in record_quarantine" : "";
    text += report.holds() ? ": every chain holds."
                           : ": " + std::to_string(report.findings.size()) +
                                 (report.findings.size() == 1 ? " break." : " breaks.");
    terminal().line(report.holds() ? LineKind::Result : LineKind::Error, text);
}

Outcome verifyFile(const HistoryOptions& options) {
    const std::string path = resolveStatePath(options.recordPath, kRecordFileName);
    struct stat status {};
    std::ifstream record;
    if (!path.empty() && stat(path.c_str(), &status) == 0 && (status.st_mode & S_IFMT) == S_IFREG) {
        record.open(path, std::ios::binary);
    }
    if (!record.is_open()) {
        terminal().line(LineKind::Error, "pxr7: cannot read the record " + printable(path) +
                                             ": no such regular file");
        return Outcome::FailureOther;
    }
    ChainWalk walk;
    std::size_t number = 0;
    for (std::string line; std::getline(record, line);) {
        ++number;
        if (!line.empty()) {
            walk.add(line, number);
        }
    }
    CounterMemory counter;
    const bool remembered = readCounterMemory(seqCounterPath(path), counter);
    const ChainReport report =
        walk.finish(remembered ? std::optional<CounterMemory>(counter) : std::nullopt);
    printFindings(path, report, true, -1, options.json);
    return report.holds() ? Outcome::Ok : Outcome::RecordAltered;
}

#if defined(PXR7_HAVE_DATABASE)
Outcome verifyDatabase(const HistoryOptions& options) {
    const std::string shownUrl = urlWithoutPassword(options.database);
    PgConnection connection;
    StoredRecord found = StoredRecord::None;
    int version = 0;
    long long quarantined = 0;
    ChainWalk walk;
    DbStatus status = connection.connect(options.database);
    if (status.ok()) {
        status = findStoredRecord(connection, found, version);
    }
    if (status.ok() && found == StoredRecord::Found && version >= 2) {
        status = forEachLineByStream(connection,
                                     [&walk](const std::string& line) { walk.add(line, 0); });
        if (status.ok()) {
            status = countQuarantined(connection, quarantined);
        }
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
    const ChainReport report = walk.finish();
    printFindings(shownUrl, report, false, quarantined, options.json);
    return report.holds() ? Outcome::Ok : Outcome::RecordAltered;
}
#else
Outcome verifyDatabase(const HistoryOptions&) {
    return Outcome::DatabaseFailed; // the runner has said why
}
#endif

} // namespace

Outcome runHistoryVerify(const HistoryOptions& options) {
    return options.database.empty() ? verifyFile(options) : verifyDatabase(options);
}

} // namespace pxr7
