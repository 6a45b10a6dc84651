#include "collect_view.h"

#include "json_writer.h"
#include "printable.h"
#include "terminal.h"

namespace pxr7 {

namespace {

std::string retryWords(int seconds) {
    return seconds > 0 ? "; trying again in " + std::to_string(seconds) + " s" : "";
}

const char* eventName(CollectEventKind kind) {
    switch (kind) {
    case CollectEventKind::StationReached:
        return "collect_reached";
    case CollectEventKind::StationAway:
        return "collect_away";
    case CollectEventKind::Stored:
        return "collect_stored";
    case CollectEventKind::Clash:
        return "collect_clash";
    case CollectEventKind::Quarantined:
        return "collect_quarantined";
    case CollectEventKind::NewStream:
        return "collect_new_stream";
    case CollectEventKind::CaughtUp:
        return "collect_caught_up";
    case CollectEventKind::DatabaseAway:
        return "collect_database_away";
    case CollectEventKind::DatabaseBack:
        return "collect_database_back";
    }
    return "collect";
}

JsonObject eventJson(const CollectEvent& event) {
    JsonObject object;
    object.add("event", eventName(event.kind));
    if (!event.station.empty()) {
        object.add("station", event.station);
    }
    if (event.kind == CollectEventKind::StationAway ||
        event.kind == CollectEventKind::DatabaseAway) {
        object.add("reason", event.reason);
        if (event.retrySeconds > 0) {
            object.add("retry_s", event.retrySeconds);
        } else {
            object.add("retry_s", static_cast<const char*>(nullptr)); // no try again (--once)
        }
    }
    if (event.kind == CollectEventKind::Quarantined) {
        object.add("reason", event.reason);
    }
    if (event.kind == CollectEventKind::NewStream) {
        object.add("bench", event.bench).add("stream", event.stream);
    }
    if (event.kind == CollectEventKind::Stored || event.kind == CollectEventKind::Clash ||
        event.kind == CollectEventKind::Quarantined) {
        object.add("lines", static_cast<long long>(event.lines));
        object.addNameOrNull("bench", event.bench);
        object.add("up_to_seq", static_cast<long long>(event.upToSeq));
    }
    return object;
}

} // namespace

std::string collectEventLine(const CollectEvent& event) {
    const std::string station = "Station " + printable(event.station);
    switch (event.kind) {
    case CollectEventKind::StationReached:
        return station + ": reached";
    case CollectEventKind::StationAway:
        return station + " away: " + printable(event.reason) + retryWords(event.retrySeconds);
    case CollectEventKind::Stored:
        return station + ": " + std::to_string(event.lines) +
               (event.lines == 1 ? " line" : " lines") + " stored (bench " +
               printable(event.bench) + ", up to seq " + std::to_string(event.upToSeq) + ")";
    case CollectEventKind::Clash:
        return station + ": " + std::to_string(event.lines) +
               (event.lines == 1 ? " line has" : " lines have") +
               " the stream (or bench) and seq of another (bench " + printable(event.bench) +
               ", up to seq " + std::to_string(event.upToSeq) +
               "): kept in record_quarantine. Give each bench a name of its own (bench = NAME)";
    case CollectEventKind::Quarantined:
        return station + ": " + std::to_string(event.lines) +
               (event.lines == 1 ? " line" : " lines") + " kept in record_quarantine (bench " +
               printable(event.bench) + ", up to seq " + std::to_string(event.upToSeq) +
               "): " + printable(event.reason);
    case CollectEventKind::NewStream:
        return station + ": bench " + printable(event.bench) + " started a new record (stream " +
               printable(event.stream) + "); collected from its first line";
    case CollectEventKind::CaughtUp:
        return station + ": caught up";
    case CollectEventKind::DatabaseAway:
        return "Database away: " + printable(event.reason) + retryWords(event.retrySeconds);
    case CollectEventKind::DatabaseBack:
        return "Database back";
    }
    return "";
}

void CollectView::collectEvent(const CollectEvent& event) {
    if (json_) {
        eventJson(event).print();
        return;
    }
    const bool away =
        event.kind == CollectEventKind::StationAway ||
        event.kind == CollectEventKind::DatabaseAway || event.kind == CollectEventKind::Clash ||
        event.kind == CollectEventKind::Quarantined || event.kind == CollectEventKind::NewStream;
    terminal().line(away ? LineKind::Warning : LineKind::Info, collectEventLine(event));
}

} // namespace pxr7
