// The live page: the station's header, one tile per lane and the recent outcomes, kept up to
// date from the event stream. A snapshot replaces everything; the other events change a part.
"use strict";

(() => {
    const {el, setText, dateTime, timeOfDay, seconds, resultBadge, shown} = pxr7;
    const LOST = "Connection to the station lost: reconnecting…";
    const MAX_OUTCOMES = 1000;

    const state = {
        tiles : new Map(),
        tones : new Map(), // each lane's last tone: a turn to "bad" sounds the alarm
        seen : new Set(),
        ended : false,
        lost : false,
        source : null,
        firstTile : false,
        header : null,
        updated : null, // when the page last heard from the station
    };

    // kind: "lost" or "ended", for whoever reads the page (and its tests).
    function showBanner(textValue, tone, kind) {
        const banner = document.getElementById("banner");
        banner.textContent = textValue;
        banner.className = `banner tone-${tone}`;
        banner.dataset.kind = kind;
        banner.hidden = false;
    }

    function hideBanner() { document.getElementById("banner").hidden = true; }

    function utcStamp(date) { return dateTime(date.toISOString()); }

    // The bench's name in the title and the heading, the host beside it when it is another.
    function renderNames(header) {
        const bench = shown(header.bench);
        const host = shown(header.host);
        setText("bench", bench);
        setText("host", host);
        document.getElementById("host-part").hidden = !host || host === bench;
        const names = host && host !== bench ? `${bench} on ${host}` : bench || host;
        document.title = names ? `PXR7 station ${names}` : "PXR7 station";
        const notice = document.getElementById("standin");
        notice.textContent = header.image_standin ? shown(header.image_notice) : "";
        notice.hidden = !header.image_standin;
    }

    function renderHeader(header) {
        if (!header)
            return;
        state.header = header;
        renderNames(header);
        setText("image-version", shown(header.image_version) || "image without a version");
        setText("image-sha", header.image_sha256 ? header.image_sha256.slice(0, 12) : "");
        document.getElementById("image-sha").title = header.image_sha256 || "";
        const totals = header.totals || {};
        setText("total-ok", String(totals.ok ?? 0));
        setText("total-current", String(totals.current ?? 0));
        setText("total-failed", String(totals.failed ?? 0));
        const yieldValue = header.yield;
        setText("yield",
                typeof yieldValue === "number" ? `${(yieldValue * 100).toFixed(1)} %` : "–");
        const rate = header.meters_per_hour;
        setText("rate", typeof rate === "number" ? rate.toFixed(1) : "–");
        setText("since", dateTime(header.started));
        document.getElementById("since").title = header.started || "";
        if (header.ended)
            markEnded();
    }

    function progressPart(tile) {
        const total = Number(tile.total) || 0;
        const records = Math.min(Number(tile.records) || 0, total);
        const percent = total > 0 ? (100 * records) / total : 0;
        const fill = el("div", {class : "fill"});
        fill.style.width = `${percent.toFixed(1)}%`;
        const bar = el("div", {
            class : "bar",
            role : "progressbar",
            "aria-valuemin" : 0,
            "aria-valuemax" : total,
            "aria-valuenow" : records
        },
                       fill);
        let words = `${records} / ${total} records`;
        if (typeof tile.seconds_left === "number" && !state.ended)
            words += ` · ${seconds(tile.seconds_left)} left`;
        return el("div", {class : "progress"}, bar, el("p", {class : "progress-text"}, words));
    }

    function lastPart(last) {
        const parts = [ el("span", {class : "caption"}, "Last: "), resultOf(last) ];
        if (last.version_after)
            parts.push(` ${shown(last.version_after)}`);
        if (last.unit_id)
            parts.push(` · unit ${shown(last.unit_id)}`);
        parts.push(` · ${timeOfDay(last.finished)}`);
        return el("p", {class : "last", "data-result" : last.result}, ...parts);
    }

    function tileParts(tile) {
        const where = [];
        if (tile.location)
            where.push(`at ${shown(tile.location)}`);
        if (tile.unit_id)
            where.push(`unit ${shown(tile.unit_id)}`);
        const counts = tile.counts || {};
        return [
            el("div", {class : "tile-head"}, el("h3", {class : "label"}, shown(tile.label)),
               el("span", {class : "lane-no"}, `lane ${tile.lane}`)),
            el("p", {class : "where"}, where.join(" · ")),
            el("p", {class : "state"}, shown(tile.words)),
            tile.phase === "sending" ? progressPart(tile) : null,
            tile.last ? lastPart(tile.last) : null,
            tile.next ? el("p", {class : "next"}, el("span", {class : "caption"}, "Next: "),
                           shown(tile.next))
                      : null,
            el("p", {class : "counts"},
               `${counts.ok ?? 0} ok · ${counts.current ?? 0} current · ${
                   counts.failed ?? 0} failed`),
        ].filter((part) => part !== null);
    }

    // A result badge in the station's words; the stable word stays in data-result.
    function resultOf(outcome) {
        const badge = resultBadge(outcome.result);
        badge.textContent = shown(outcome.result_words);
        return badge;
    }

    // A lane that turns bad (a failed meter, out of service) sounds the alarm, also when the
    // turn came while the page was away (a later snapshot); the first snapshot does not.
    function noteTone(tile, live) {
        const before = state.tones.get(tile.lane);
        state.tones.set(tile.lane, tile.tone);
        if (tile.tone === "bad" && before !== "bad" && live)
            pxr7Alarm.sound(document.getElementById("sound"));
    }

    // live: the tile comes from an event, not from the first snapshot.
    function renderTile(tile, live = true) {
        if (!tile || typeof tile.lane !== "number")
            return;
        let node = state.tiles.get(tile.lane);
        if (!node) {
            node = el("article", {class : "tile", "data-lane" : tile.lane});
            state.tiles.set(tile.lane, node);
            const after =
                [...state.tiles.keys() ].filter((lane) => lane > tile.lane).sort((a, b) => a - b);
            const container = document.getElementById("tiles");
            container.insertBefore(node, after.length ? state.tiles.get(after[0]) : null);
        }
        node.className = `tile tone-${tile.tone || "quiet"}`;
        node.dataset.state = tile.state || "";
        node.dataset.phase = tile.phase || "";
        node.dataset.tone = tile.tone || "";
        node.dataset.serial = tile.serial || "";
        node.replaceChildren(...tileParts(tile));
        noteTone(tile, live);
        if (!state.firstTile) {
            state.firstTile = true;
            performance.mark("first-tile");
        }
        updateEmptyLanes();
    }

    function removeTile(lane) {
        const node = state.tiles.get(lane);
        if (node)
            node.remove();
        state.tiles.delete(lane);
        updateEmptyLanes();
    }

    function updateEmptyLanes() {
        const empty = document.getElementById("no-lanes");
        empty.textContent = "No lead is plugged in.";
        empty.hidden = state.tiles.size > 0;
    }

    function outcomeKey(outcome) {
        return [ outcome.lane, outcome.finished, outcome.result, outcome.label, outcome.unit_id ]
            .map((part) => String(part))
            .join("\u0000");
    }

    // Adds an outcome at the top, once: a stream resumed after a cut may send it again.
    function addOutcome(outcome) {
        if (!outcome)
            return;
        const key = outcomeKey(outcome);
        if (state.seen.has(key))
            return;
        state.seen.add(key);
        const resultCell = el("td", {}, resultOf(outcome));
        if (outcome.record_error) {
            resultCell.append(
                el("span", {class : "note"}, ` not recorded: ${shown(outcome.record_error)}`));
        }
        resultCell.dataset.label = "Result";
        const cell = (label, ...content) => el("td", {"data-label" : label}, ...content);
        const row =
            el("tr", {"data-lane" : outcome.lane, "data-result" : outcome.result},
               el("td", {class : "when", title : outcome.finished || "", "data-label" : "Time"},
                  timeOfDay(outcome.finished)),
               cell("Lane", shown(outcome.label)), cell("Unit", shown(outcome.unit_id)), resultCell,
               cell("Version after", shown(outcome.version_after)));
        const body = document.querySelector("#outcomes tbody");
        body.prepend(row);
        while (body.rows.length > MAX_OUTCOMES)
            body.lastElementChild.remove();
        document.getElementById("no-outcomes").hidden = true;
    }

    function applySnapshot(snapshot) {
        const live = state.header !== null;
        for (const lane of [...state.tiles.keys()])
            removeTile(lane);
        state.seen.clear();
        document.querySelector("#outcomes tbody").replaceChildren();
        document.getElementById("no-outcomes").hidden = false;
        renderHeader(snapshot.header);
        for (const tile of snapshot.lanes || [])
            renderTile(tile, live);
        for (const outcome of snapshot.outcomes || [])
            addOutcome(outcome);
        updateEmptyLanes();
    }

    // "The station ended at 2026-12-09 14:05:31 UTC: success. 12 ok, 1 already current, 0
    // failed." The tiles stay as they were, still.
    function markEnded() {
        const header = state.header || {};
        const totals = header.totals || {};
        const when = header.ended_at ? ` at ${dateTime(header.ended_at)} UTC` : "";
        const how = header.exit_words ? `: ${shown(header.exit_words)}` : "";
        showBanner(`The station ended${when}${how}. ${totals.ok ?? 0} ok, ${
                       totals.current ?? 0} already current, ${totals.failed ?? 0} failed.`,
                   header.exit_code ? "bad" : "quiet", "ended");
        if (!state.ended) {
            state.ended = true;
            for (const node of state.tiles.values())
                node.querySelectorAll(".progress-text").forEach(dropTimeLeft);
        }
        setLost(false);
        document.body.classList.add("ended");
        if (state.source)
            state.source.close();
    }

    function dropTimeLeft(node) { node.textContent = node.textContent.replace(/ · .* left$/, ""); }

    // While the stream is away the board is what it was when it went: greyed, and said so.
    function setLost(lost) {
        if (lost && !state.lost) {
            const since =
                state.updated
                    ? ` The lanes show the station as it was at ${utcStamp(state.updated)} UTC.`
                    : "";
            showBanner(LOST + since, "attention", "lost");
        }
        state.lost = lost;
        document.body.classList.toggle("lost", lost);
    }

    const handlers = {
        snapshot : applySnapshot,
        lane_appeared : (data) => renderTile(data.tile),
        lane_state : (data) => renderTile(data.tile),
        meter_arrived : (data) => renderTile(data.tile),
        phase : (data) => renderTile(data.tile),
        progress : (data) => renderTile(data.tile),
        lane_gone : (data) => {
            removeTile(data.lane);
            state.tones.delete(data.lane);
        },
        outcome : (data) => {
            addOutcome(data.outcome);
            renderTile(data.tile);
            renderHeader(data.header);
        },
        header : (data) => renderHeader(data.header),
        station_ended : (data) => {
            renderHeader(data.header);
            markEnded();
        },
    };

    function reconnected() {
        hideBanner();
        setLost(false);
    }

    function connect() {
        const source = new EventSource("/api/events");
        state.source = source;
        for (const [name, handle] of Object.entries(handlers)) {
            source.addEventListener(name, (event) => {
                let data;
                try {
                    data = JSON.parse(event.data);
                } catch (_) {
                    return;
                }
                if (!data || typeof data !== "object")
                    return;
                state.updated = new Date();
                if (state.lost)
                    reconnected();
                handle(data);
            });
        }
        source.addEventListener("open", () => {
            if (!state.ended)
                reconnected();
        });
        source.addEventListener("error", () => {
            if (state.ended)
                return;
            setLost(true);
            // The browser retries by itself unless the answer was no stream at all; then a new
            // stream from the start, whose snapshot replaces what the page shows.
            if (source.readyState === EventSource.CLOSED)
                setTimeout(connect, 2000);
        });
    }

    document.addEventListener("DOMContentLoaded", () => {
        pxr7Alarm.setUp(document.getElementById("sound"));
        connect();
    });
})();
