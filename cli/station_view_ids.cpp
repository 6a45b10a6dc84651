// The station view's part for unit ids: the text being typed, refused ids and the ids waiting.
#include "json_text.h"
#include "json_writer.h"
#include "printable.h"
#include "station_view.h"
#include "terminal.h"
#include "terminal_caps.h"
#include "utf8.h"

namespace pxr7 {

void StationView::unitIdTyping(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    typing_ = text;
    if (terminal().live() && !terminal().settings().json) {
        redraw(true);
    }
}

void StationView::unitIdRefused(const std::string& id, const std::string& why) {
    if (terminal().settings().json) {
        JsonObject()
            .add("event", "unit_id_refused")
            .addNameOrNull("unit_id", id)
            .add("reason", why)
            .print();
        return;
    }
    terminal().line(LineKind::Warning,
                    "Unit id " + printableName(id, stdoutTakesUtf8()) + " refused: " + why + ".");
}

void StationView::unitIdsWaiting(const std::vector<std::string>& ids) {
    if (terminal().settings().json) {
        JsonObject().add("event", "unit_ids_waiting").addNames("unit_ids", ids).print();
        return;
    }
    std::string text;
    for (const std::string& id : ids) {
        text += (text.empty() ? "" : ", ") + printable(id);
    }
    terminal().line(LineKind::Info, ids.empty() ? "No unit id waiting for a meter."
                                                : "Unit ids waiting for a meter: " + text);
}

} // namespace pxr7
