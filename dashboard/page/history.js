// The history page: the record's lines, filtered by what the URL's query string says, newest
// first and a page at a time. Every change of filter or page is a new URL, so a filtered view
// can be bookmarked and Back returns to the one before.
"use strict";

(() => {
    const {el, getJson, dateTime, seconds, resultBadge, laneLabel, shown} = pxr7;
    const FILTERS = [ "bench", "result", "lane", "unit", "from", "to" ];

    // The filters of the URL, the empty ones left out.
    function currentFilter() {
        const url = new URLSearchParams(location.search);
        const filter = new URLSearchParams();
        for (const name of FILTERS) {
            const value = url.get(name);
            if (value)
                filter.set(name, value);
        }
        return filter;
    }

    function currentPage() {
        const page = Number.parseInt(new URLSearchParams(location.search).get("page") || "1", 10);
        return Number.isFinite(page) && page > 0 ? page : 1;
    }

    function withPage(filter, page) {
        const query = new URLSearchParams(filter);
        if (page > 1)
            query.set("page", String(page));
        const text = query.toString();
        return text ? `?${text}` : "";
    }

    // labels: a Map, so that a lane named "constructor" or "__proto__" is looked up as text.
    function fillSelect(id, values, labels) {
        const select = document.getElementById(id);
        const chosen = new URLSearchParams(location.search).get(id) || "";
        const options = [ el("option", {value : ""}, "any") ];
        const all = [...values ];
        if (chosen && !all.includes(chosen))
            all.push(chosen);
        for (const value of all)
            options.push(el("option", {value}, labels.get(value) ?? shown(value)));
        select.replaceChildren(...options);
        select.value = chosen;
    }

    // More lanes than a list can hold: the lane is typed, the listed ones offered as it is.
    function laneAsText(lanes) {
        const select = document.getElementById("lane");
        if (select.tagName !== "SELECT")
            return;
        const list = el("datalist", {id : "lane-choices"},
                        ...lanes.map((lane) => el("option", {value : lane, label : shown(lane)})));
        const input = el("input", {id : "lane", name : "lane", list : "lane-choices"});
        input.value = new URLSearchParams(location.search).get("lane") || "";
        select.replaceWith(input, list);
    }

    // The database of several benches names them: a Bench column and filter.
    function showBenches(benches) {
        document.getElementById("bench-filter").hidden = false;
        const overview = document.getElementById("live-link"); // "/" is the benches' overview
        overview.textContent = "Every bench";
        overview.hidden = false;
        fillSelect("bench", benches, new Map());
        const head = document.querySelector("#history thead tr");
        if (!head.querySelector(".bench"))
            head.children[0].after(el("th", {class : "bench"}, "Bench"));
    }

    function fillForm(choices) {
        if (Array.isArray(choices.benches))
            showBenches(choices.benches);
        fillSelect("result", [...(choices.results || []), "failed" ],
                   new Map([ [ "failed", "failed (any failure)" ] ]));
        if (choices.lanes_more > 0)
            laneAsText(choices.lanes || []);
        else
            fillSelect("lane", choices.lanes || [], new Map());
        const url = new URLSearchParams(location.search);
        for (const name of ["unit", "from", "to"])
            document.getElementById(name).value = url.get(name) || "";
    }

    function versions(entry) {
        return `${shown(entry.version_before) || "–"} → ${shown(entry.version_after) || "–"}`;
    }

    // A station's line by its line number; a line of the database of benches by bench and seq.
    function entryHref(entry) {
        if (entry.line !== undefined)
            return `/entry?line=${entry.line}`;
        return `/entry?${new URLSearchParams({bench : entry.bench, seq : String(entry.seq)})}`;
    }

    // Each cell says its column (data-label): a narrow screen shows a line as a card.
    function lineRow(entry, benches) {
        const link = el("a", {href : entryHref(entry), title : entry.finished || ""},
                        dateTime(entry.finished));
        const cell = (label, className, ...content) =>
            el("td", {class : className, "data-label" : label}, ...content);
        return el("tr", {"data-line" : entry.line ?? entry.seq, "data-result" : entry.result},
                  cell("Finished", "when", link),
                  benches ? cell("Bench", "bench", shown(entry.bench)) : null,
                  cell("Lane", "lane", laneLabel(entry)),
                  cell("Unit", "unit", shown(entry.unit_id)),
                  cell("Result", "result", resultBadge(entry.result)),
                  cell("Version", "versions", versions(entry)),
                  cell("Attempts", "number", entry.attempts ?? ""),
                  cell("Duration", "number", seconds(entry.duration_s)));
    }

    function totalsRow(name, counts) {
        return el("tr", {}, el("td", {}, shown(name)), el("td", {class : "number"}, counts.ok ?? 0),
                  el("td", {class : "number"}, counts.current ?? 0),
                  el("td", {class : "number"}, counts.failed ?? 0));
    }

    function setPageLink(id, page, filter, usable) {
        const link = document.getElementById(id);
        if (usable) {
            link.href = `/history${withPage(filter, page)}`;
            link.removeAttribute("aria-disabled");
        } else {
            link.removeAttribute("href");
            link.setAttribute("aria-disabled", "true");
        }
    }

    // The rows the totals leave out, said in one row.
    function moreRow(count, what) {
        if (!(count > 0))
            return [];
        return [ el("tr", {class : "more"},
                    el("td", {colspan : 4}, `and ${count} more ${what}s: filter to see them`)) ];
    }

    function render(data, filter) {
        fillForm(data.choices || {});
        const lines = data.lines || [];
        const benches = Array.isArray((data.choices || {}).benches);
        document.querySelector("#history tbody")
            .replaceChildren(...lines.map((line) => lineRow(line, benches)));
        document.getElementById("no-lines").hidden = lines.length > 0;
        const pages = Math.max(data.pages || 0, 1);
        document.getElementById("page-of").textContent = `page ${data.page} of ${pages}`;
        document.getElementById("line-count").textContent =
            `${data.total} ${data.total === 1 ? "line" : "lines"}`;
        setPageLink("newer", data.page - 1, filter, data.page > 1);
        setPageLink("older", data.page + 1, filter, data.page < pages);
        const totals = data.totals || {};
        document.querySelector("#lane-totals tbody")
            .replaceChildren(...(totals.lanes || []).map((t) => totalsRow(t.lane, t)),
                             ...moreRow(totals.lanes_more, "lane"));
        document.querySelector("#day-totals tbody")
            .replaceChildren(...(totals.days || []).map((t) => totalsRow(t.day, t)),
                             ...moreRow(totals.days_more, "day"));
        if (data.unreadable) {
            showError(`${data.unreadable} lines of the record could not be read and are left out.`);
        }
        performance.mark("history-rows");
    }

    function showError(message) {
        const error = document.getElementById("error");
        error.textContent = message;
        error.hidden = false;
    }

    function setExports(filter) {
        const query = filter.toString() ? `?${filter}` : "";
        document.getElementById("export-csv").href = `/api/history.csv${query}`;
        document.getElementById("export-jsonl").href = `/api/history.jsonl${query}`;
    }

    // A new filter is a new URL, from its first page.
    function onSubmit(event) {
        event.preventDefault();
        const filter = new URLSearchParams();
        for (const name of FILTERS) {
            const value = (document.getElementById(name) || {value : ""}).value.trim();
            if (value)
                filter.set(name, value);
        }
        location.assign(`/history${withPage(filter, 1)}`);
    }

    async function load() {
        document.getElementById("filters").addEventListener("submit", onSubmit);
        const filter = currentFilter();
        setExports(filter);
        getJson("/api/snapshot")
            .then((live) => {
                if (live.status === 200)
                    document.getElementById("live-link").hidden = false;
            })
            .catch(() => {});
        const query = new URLSearchParams(filter);
        query.set("page", String(currentPage()));
        // The figures read every match, the lines a page: asked at once, each shown as it comes.
        pxr7Figures.load(filter);
        try {
            const {status, body} = await getJson(`/api/history?${query}`);
            if (status !== 200 || !body) {
                fillForm({});
                showError((body && body.error) ||
                          `The history could not be read (HTTP ${status}).`);
                return;
            }
            render(body, filter);
        } catch (_) {
            showError("The history could not be reached.");
        }
    }

    document.addEventListener("DOMContentLoaded", load);
})();
