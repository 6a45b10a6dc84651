// One record line: in words first (what happened, when, where, by whom, to which unit), then
// the unit's other lines, then every key and its value, as text.
"use strict";

(() => {
    const {el, getJson, text, shown, dateTime, laneLabel, resultBadge} = pxr7;

    function versions(entry) {
        return `${shown(entry.version_before) || "–"} → ${shown(entry.version_after) || "–"}`;
    }

    // The line in words: the outcome's words from the exit-code table, and the facts a
    // supervisor asks first.
    function showWords(body) {
        const entry = body.entry, outcome = body.outcome || {};
        const code = outcome.code === null || outcome.code === undefined
                         ? ""
                         : ` (exit code ${outcome.code})`;
        document.getElementById("entry-sentence")
            .replaceChildren(resultBadge(entry.result), " ", `${shown(outcome.words)}${code}`);
        const facts = [
            [ "When (UTC)", dateTime(entry.finished) || "unknown" ],
            [ "Bench", entry.bench === undefined ? null : shown(entry.bench) ],
            [ "Fixture (lane)", laneLabel(entry) ],
            [ "Operator", shown(entry.operator) || "nobody named" ],
            [ "Unit id", shown(entry.unit_id) || "none given" ],
            [ "Versions before → after", versions(entry) ],
            [ "Attempts", entry.attempts === undefined ? null : text(entry.attempts) ],
        ];
        document.getElementById("entry-facts")
            .replaceChildren(
                ...facts.filter(([, value ]) => value !== null)
                    .flatMap(([
                                 name, value
                             ]) => [el("dt", {}, name), el("dd", {"data-fact" : name}, value)]));
        document.getElementById("in-words").hidden = false;
    }

    // A station's line by its number; a line of the database by bench, seq and stream.
    function lineHref(other) {
        if (other.line !== undefined)
            return `/entry?line=${other.line}`;
        const query = {bench : other.bench, seq : String(other.seq)};
        if (typeof other.stream === "string")
            query.stream = other.stream;
        return `/entry?${new URLSearchParams(query)}`;
    }

    function showUnitLines(body) {
        if (!body.entry.unit_id || !Array.isArray(body.unit_lines))
            return;
        const items = body.unit_lines.map(
            (other) =>
                el("li", {"data-result" : shown(other.result)},
                   el("a", {href : lineHref(other)}, dateTime(other.finished) || "no time"), " ",
                   resultBadge(other.result), " on ", el("bdi", {}, shown(other.lane))));
        if (body.unit_lines_more > 0)
            items.push(el("li", {class : "more"},
                          `and ${body.unit_lines_more} older lines: ` +
                              "filter the history by this unit id"));
        document.getElementById("unit-lines").replaceChildren(...items);
        document.getElementById("no-unit-lines").hidden = items.length > 0;
        document.getElementById("unit").hidden = false;
    }

    function showError(message) {
        const error = document.getElementById("error");
        error.textContent = message;
        error.hidden = false;
    }

    async function load() {
        const back = document.getElementById("back");
        back.addEventListener("click", (event) => {
            if (history.length > 1) {
                event.preventDefault();
                history.back();
            }
        });
        getJson("/api/snapshot")
            .then((live) => { document.getElementById("live-link").hidden = live.status !== 200; })
            .catch(() => {});
        // A station's line by number, or a line of the database of benches by bench and seq.
        const url = new URLSearchParams(location.search);
        const bench = url.get("bench");
        const line =
            bench !== null ? `${shown(bench)} #${url.get("seq") || ""}` : url.get("line") || "";
        const asked = bench !== null
                          ? new URLSearchParams({bench, seq : url.get("seq") || ""}).toString()
                          : `line=${encodeURIComponent(line)}`;
        document.getElementById("entry-title").textContent = `Record line ${line}`;
        document.title = `PXR7 record line ${line}`;
        try {
            const {status, body} = await getJson(`/api/entry?${asked}`);
            if (status !== 200 || !body || !body.entry) {
                showError((body && body.error) ||
                          `Line ${line} could not be read (HTTP ${status}).`);
                return;
            }
            showWords(body);
            showUnitLines(body);
            const rows = Object.entries(body.entry)
                             .map(([ key, value ]) =>
                                      el("tr", {"data-key" : key}, el("th", {scope : "row"}, key),
                                         el("td", {class : value === null ? "null" : ""},
                                            value === null ? "null" : text(value))));
            document.querySelector("#entry tbody").replaceChildren(...rows);
        } catch (_) {
            showError("The record line could not be reached.");
        }
    }

    document.addEventListener("DOMContentLoaded", load);
})();
