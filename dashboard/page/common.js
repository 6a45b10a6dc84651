// Shared by the dashboard's pages. Every value from a meter, the operator or the record goes
// into the page as text (textContent), never as markup: the Content-Security-Policy forbids
// inline code, and a serial number like "<svg onload=...>" must show as those characters.
"use strict";

const pxr7 = (() => {
    // An element with attributes and children; strings become text nodes.
    function el(tag, attributes, ...children) {
        const node = document.createElement(tag);
        for (const [name, value] of Object.entries(attributes || {})) {
            if (value === null || value === undefined || value === false)
                continue;
            if (name === "class")
                node.className = value;
            else
                node.setAttribute(name, value === true ? "" : String(value));
        }
        for (const child of children) {
            if (child === null || child === undefined)
                continue;
            node.append(child instanceof Node ? child : String(child));
        }
        return node;
    }

    function setText(id, text) {
        const node = document.getElementById(id);
        if (node)
            node.textContent = text;
    }

    // GET a JSON document: {status, body} (body null when it was not JSON).
    async function getJson(url) {
        const response = await fetch(url, {headers : {Accept : "application/json"}});
        let body = null;
        try {
            body = await response.json();
        } catch (_) {
            body = null;
        }
        return {status : response.status, body};
    }

    function pad(n) { return String(n).padStart(2, "0"); }

    // Every page shows times in UTC, as the record and the history's date filter keep them, and
    // says so ("Times in UTC"): one zone, whatever the browser's.
    function utcDate(iso) {
        const date = new Date(iso);
        return iso && !Number.isNaN(date.getTime()) ? date : null;
    }

    // "2026-12-08 10:30:05"; the text itself when it is no time.
    function dateTime(iso) {
        const date = utcDate(iso);
        if (!date)
            return shown(iso);
        return `${date.getUTCFullYear()}-${pad(date.getUTCMonth() + 1)}-${
                   pad(date.getUTCDate())} ` +
               timeOfDay(iso);
    }

    // "10:30:05"; the text itself when it is no time.
    function timeOfDay(iso) {
        const date = utcDate(iso);
        if (!date)
            return shown(iso);
        return `${pad(date.getUTCHours())}:${pad(date.getUTCMinutes())}:${
            pad(date.getUTCSeconds())}`;
    }

    function seconds(value) {
        if (typeof value !== "number" || !Number.isFinite(value))
            return "";
        if (value < 60)
            return `${value.toFixed(1)} s`;
        const minutes = Math.floor(value / 60);
        return `${minutes} min ${pad(Math.round(value - minutes * 60))} s`;
    }

    // How a result reads at a glance: good, quiet (already current) or bad.
    function resultTone(result) {
        if (result === "ok")
            return "good";
        if (result === "current")
            return "quiet";
        return "bad";
    }

    // A result word as a labelled badge: the colour helps, the word says it.
    function resultBadge(result) {
        return el("span", {class : `badge tone-${resultTone(result)}`, "data-result" : result},
                  result === null || result === undefined ? "" : String(result));
    }

    const utf8 = new TextDecoder("utf-8", {fatal : true, ignoreBOM : true});

    // A text of the record or of a meter as a person reads it (docs/json.md): a meter's bytes,
    // which the JSON holds one per character up to U+00FF, and a name a line wrote as its bytes
    // before names were UTF-8, as the UTF-8 text those bytes spell; any other text as its
    // characters. The same rule as the record's readers (nameOf) and the CSV export.
    function shown(value) {
        if (value === null || value === undefined)
            return "";
        const characters = String(value);
        if (!/[\u0080-\u00ff]/.test(characters) || /[^\u0000-\u00ff]/.test(characters))
            return characters;
        try {
            return utf8.decode(Uint8Array.from(characters, (c) => c.charCodeAt(0)));
        } catch (_) {
            return characters;
        }
    }

    function text(value) {
        if (value === null || value === undefined)
            return "";
        return typeof value === "string" ? shown(value) : JSON.stringify(value);
    }

    // A record line's lane, as the history names it: the lane's name, else the lead's serial
    // number, else its bridge index.
    function laneLabel(entry) {
        if (entry.lane_name)
            return shown(entry.lane_name);
        if (entry.lead_serial)
            return shown(entry.lead_serial);
        return `bridge ${entry.lead_index}`;
    }

    // The history's figures (history.js, overview.js): an SVG element built as el builds
    // HTML ones, and a yield as a person reads it.
    function svgEl(tag, attributes, ...children) {
        const node = document.createElementNS("http://www.w3.org/2000/svg", tag);
        for (const [name, value] of Object.entries(attributes || {}))
            node.setAttribute(name, String(value));
        for (const child of children) {
            if (child !== null && child !== undefined)
                node.append(child instanceof Node ? child : String(child));
        }
        return node;
    }

    // "71.4 %", as the live page shows the yield; "–" when there is none (no meter with an
    // outcome).
    function percent(value) {
        return typeof value === "number" && Number.isFinite(value) ? `${(value * 100).toFixed(1)} %`
                                                                   : "–";
    }

    return {
        svgEl,
        percent,
        el,
        setText,
        getJson,
        dateTime,
        timeOfDay,
        shown,
        seconds,
        resultTone,
        resultBadge,
        text,
        laneLabel
    };
})();
