// The overview: one row per station named to pxr7 serve, refreshed every 2 s from
// /api/overview. A station that does not answer shows its last figures and since when.
"use strict";

(() => {
    const {el, getJson, dateTime, text, shown, percent, seconds} = pxr7;

    function number(value, digits) {
        return typeof value === "number" ? value.toFixed(digits) : "";
    }

    // The bench's name, linking to the station's own dashboard when its URL is a web address.
    function benchCell(station) {
        const name = text(station.bench) || text(station.station);
        const url = text(station.station);
        const linkable = /^https?:\/\//i.test(url);
        return el("td", {class : "bench"}, linkable ? el("a", {href : url}, name) : name);
    }

    function answersCell(station) {
        if (station.answers === null)
            return el("td", {class : "answers"}, "not asked yet");
        if (station.answers)
            return el("td", {class : "answers tone-good"}, "yes");
        return el("td", {class : "answers tone-bad", "data-away" : "true"},
                  `away since ${dateTime(station.away_since)}: ${text(station.problem)}`);
    }

    function row(station) {
        const lanes = station.lanes || {};
        const totals = station.totals || {};
        return el(
            "tr", {"data-station" : text(station.station)}, benchCell(station),
            el("td", {}, text(station.station)), answersCell(station),
            el("td", {}, text(lanes.count)), el("td", {}, text(lanes.sending)),
            el("td", {}, text(lanes.waiting)), el("td", {}, text(lanes.failed)),
            el("td", {}, text(totals.ok)), el("td", {}, text(totals.current)),
            el("td", {}, text(totals.failed)),
            el("td", {},
               typeof station.yield === "number" ? `${(station.yield* 100).toFixed(1)} %` : ""),
            el("td", {}, number(station.meters_per_hour, 1)),
            el("td", {class : "stamp"}, dateTime(station.last_seen)));
    }

    // Each cell says its column (data-label), as the table's head names it: a narrow screen
    // shows a station as a card.
    function labelled(tr) {
        const heads = document.querySelectorAll("#stations thead th");
        [...tr.cells].forEach((cell, i) => { cell.dataset.label = heads[i].textContent; });
        return tr;
    }

    // A bench's lanes whose yield is falling, each with its figures in words.
    function fallingCell(bench) {
        const lanes = bench.falling || [];
        if (lanes.length === 0)
            return el("td", {}, "none");
        return el(
            "td", {class : "tone-bad", "data-falling" : "true"},
            ...lanes.map((lane) => el("p", {class : "falling-mark", "data-lane" : shown(lane.lane)},
                                      "▼ ", el("bdi", {}, shown(lane.lane)),
                                      `: ${pxr7Figures.fallingWords(lane, bench)} (${
                                          lane.failed} of ${lane.meters} failed)`)));
    }

    function benchRow(bench) {
        const name = shown(bench.bench);
        const link = el("a", {href : `/history?${new URLSearchParams({bench : name})}`}, name);
        return el("tr", {"data-bench" : name}, el("td", {class : "bench"}, link),
                  el("td", {class : "number"}, percent(bench.yield)),
                  el("td", {class : "number"}, String(bench.ok)),
                  el("td", {class : "number"}, String(bench.current)),
                  el("td", {class : "number"}, String(bench.failed)),
                  el("td", {class : "number"}, seconds(bench.median_seconds) || "–"),
                  fallingCell(bench));
    }

    // The database's figures of each bench over the last days (null: not read yet).
    function renderBenches(figures) {
        const section = document.getElementById("bench-figures");
        section.hidden = !figures;
        if (!figures)
            return;
        document.getElementById("bench-window").textContent =
            `Meters finished from ${figures.from} (UTC), the last ${figures.days} days; ` +
            "stopped meters count nowhere";
        const problem = document.getElementById("bench-problem");
        problem.hidden = !figures.problem;
        problem.textContent = figures.problem ? `Not read again: ${text(figures.problem)}` : "";
        const benches = figures.benches || [];
        const heads = document.querySelectorAll("#benches thead th");
        const rows = benches.map(benchRow);
        rows.forEach((tr) => [...tr.cells].forEach(
                         (cell, i) => { cell.dataset.label = heads[i].textContent; }));
        document.querySelector("#benches tbody").replaceChildren(...rows);
        document.getElementById("no-benches").hidden = benches.length > 0;
    }

    function render(data) {
        renderBenches(data.benches);
        const body = document.querySelector("#stations tbody");
        body.replaceChildren(...data.stations.map((station) => labelled(row(station))));
        document.getElementById("no-stations").hidden = data.stations.length > 0;
        document.getElementById("stations").hidden = data.stations.length === 0;
    }

    async function load() {
        const error = document.getElementById("error");
        try {
            const {status, body} = await getJson("/api/overview");
            if (status !== 200 || !body || !Array.isArray(body.stations))
                throw new Error(body && body.error ? body.error : `HTTP ${status}`);
            error.hidden = true;
            render(body);
        } catch (failure) {
            error.textContent = `The overview cannot be read: ${failure.message}`;
            error.hidden = false;
        }
        setTimeout(load, 2000);
    }

    load();
})();
