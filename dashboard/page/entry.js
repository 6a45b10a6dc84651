// One record line in full: every key and its value, as text.
"use strict";

(() => {
    const {el, getJson, text, shown} = pxr7;

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
