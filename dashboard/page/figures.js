// The history's figures (docs/json.md, "summary") drawn on the page: counts and yield, the
// lanes whose yield is falling said in words, yield per day and per lane as small SVG charts,
// and the failures by reason. Every name goes in as text.
"use strict";

const pxr7Figures = (() => {
    const {el, svgEl, percent, seconds, shown, setText} = pxr7;

    function outcomes(counts) {
        return (counts.ok || 0) + (counts.current || 0) + (counts.failed || 0);
    }

    // "yield falling: 71.4 % against the bench's 93.8 %".
    function fallingWords(lane, summary) {
        return `yield falling: ${percent(lane.yield)} against the bench's ${
            percent(summary.yield)}`;
    }

    // Bars of the days' yields, oldest on the left, with the bench's yield as a dashed line;
    // each bar's title says its day and figures.
    function dayChart(summary) {
        const days = [...(summary.days || []) ].reverse();
        const box = document.getElementById("day-chart");
        if (days.length === 0) {
            box.replaceChildren(el("p", {class : "empty"}, "No day with an outcome."));
            return;
        }
        const width = days.length * 10;
        const chart = svgEl("svg", {
            viewBox : `0 0 ${width} 100`,
            preserveAspectRatio : "none",
            role : "img",
            "data-chart" : "day",
            class : "day-bars",
            "aria-label" : `yield on ${days.length} days`
        });
        days.forEach((day, i) => {
            const height = (day.yield || 0) * 96;
            chart.append(svgEl("rect", {
                x : i * 10 + 1,
                y : 100 - height,
                width : 8,
                height : Math.max(height, 0.5),
                class : "fig-bar",
                "data-day" : day.day
            },
                               svgEl("title", {},
                                     `${day.day}: ${percent(day.yield)} of ${outcomes(day)} (${
                                         day.failed} failed)`)));
        });
        if (typeof summary.yield === "number") {
            const y = 100 - summary.yield* 96;
            chart.append(svgEl("line", {x1 : 0, x2 : width, y1 : y, y2 : y, class : "bench-line"}));
        }
        const first = days[0].day, last = days[days.length - 1].day;
        box.replaceChildren(chart,
                            el("p", {class : "axis"}, el("span", {}, first),
                               el("span", {}, first === last ? "" : last)),
                            el("p", {class : "caption"},
                               "Bar height: the day's yield, 0 to 100 %; dashed line: the " +
                                   "yield over every line selected"));
    }

    // One row a lane: its name, a bar of its yield with the bench's as a mark, its figures, and
    // for a falling lane a mark and words.
    function laneRow(lane, summary) {
        const name = shown(lane.lane);
        const bar = svgEl("svg", {
            viewBox : "0 0 100 10",
            preserveAspectRatio : "none",
            class : "lane-bar",
            "data-chart" : "lane",
            "aria-hidden" : "true"
        },
                          svgEl("rect", {x : 0, y : 0, width : 100, height : 10, class : "track"}),
                          svgEl("rect", {
                              x : 0,
                              y : 0,
                              width : (lane.yield || 0) * 100,
                              height : 10,
                              class : lane.falling ? "fig-bar falling" : "fig-bar"
                          }));
        if (typeof summary.yield === "number") {
            const x = summary.yield* 100;
            bar.append(svgEl("line", {x1 : x, x2 : x, y1 : 0, y2 : 10, class : "bench-line"}));
            bar.append(svgEl("title", {}, `bench: ${percent(summary.yield)}`));
        }
        return el("li", {"data-lane" : name, "data-falling" : lane.falling ? "true" : null},
                  el("bdi", {class : "lane-name"}, name), bar,
                  el("span", {class : "figure"},
                     `${percent(lane.yield)} of ${outcomes(lane)}, ${lane.failed} failed`),
                  lane.falling ? el("span", {class : "falling-mark tone-bad"},
                                    `▼ ${fallingWords(lane, summary)}`)
                               : null);
    }

    function moreItem(count, what) {
        return count > 0
                   ? el("li", {class : "more"}, `and ${count} more ${what}: filter to see them`)
                   : null;
    }

    function reasonItem(reason) {
        const code =
            reason.code === null || reason.code === undefined ? "" : `code ${reason.code}, `;
        return el("li", {"data-result" : shown(reason.result)},
                  el("span", {class : "count"}, String(reason.count)), " ",
                  el("span", {class : "words"}, shown(reason.words)), " ",
                  el("span", {class : "code"}, `(${code}${shown(reason.result)})`));
    }

    function render(summary) {
        document.getElementById("figures").hidden = false;
        document.getElementById("figures-error").hidden = true;
        setText("fig-yield", percent(summary.yield));
        setText("fig-ok", String(summary.ok));
        setText("fig-current", String(summary.current));
        setText("fig-failed", String(summary.failed));
        setText("fig-median", seconds(summary.median_seconds) || "–");
        const lanes = summary.lanes || [];
        document.getElementById("falling").replaceChildren(
            ...lanes.filter((lane) => lane.falling)
                .map((lane) => el("li", {class : "banner tone-bad", "data-lane" : shown(lane.lane)},
                                  "▼ Lane ", el("bdi", {}, shown(lane.lane)),
                                  `: ${fallingWords(lane, summary)} (${lane.failed} of ${
                                      outcomes(lane)} failed)`)));
        dayChart(summary);
        document.getElementById("lane-chart")
            .replaceChildren(...lanes.map((lane) => laneRow(lane, summary)),
                             moreItem(summary.lanes_more, "lanes") || "");
        const reasons = summary.reasons || [];
        document.getElementById("reasons").replaceChildren(
            ...reasons.map(reasonItem), moreItem(summary.reasons_more, "reasons") || "");
        document.getElementById("no-reasons").hidden = reasons.length > 0;
    }

    // The figures of the filter (URLSearchParams), or why they cannot be shown.
    async function load(filter) {
        const query = filter.toString() ? `?${filter}` : "";
        let failure = "";
        try {
            const {status, body} = await pxr7.getJson(`/api/history/summary${query}`);
            if (status === 200 && body && body.summary) {
                render(body.summary);
                performance.mark("history-figures");
                return;
            }
            failure = (body && body.error) || `HTTP ${status}`;
        } catch (_) {
            failure = "they could not be reached";
        }
        document.getElementById("figures").hidden = false;
        document.getElementById("figures-error").textContent =
            `The figures cannot be shown: ${failure}`;
        document.getElementById("figures-error").hidden = false;
        performance.mark("history-figures");
    }

    return {render, load, fallingWords, outcomes};
})();
