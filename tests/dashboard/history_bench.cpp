// Times the history on a record: the index's first refresh and one with nothing new, a query,
// the first page through HistoryApi as the server asks for it, the figures, and 60 exports of the whole
// record made at once, a part of each in turn as 60 clients would take them. Prints figures
// for scripts/benchmark.sh.
#include "history_api.h"
#include "history_query.h"
#include "record_index.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Resident memory now (VmRSS) or at its peak (VmHWM), Linux, in MiB; 0 when unknown.
long residentMiB(const char* which = "VmRSS:") {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(which, 0) == 0) {
            return std::stol(line.substr(6)) / 1024;
        }
    }
    return 0;
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// 60 JSON Lines exports of the whole record at once, drained a part of each in turn.
void manyExports(pxr7::HistoryApi& api) {
    const long before = residentMiB("VmHWM:");
    const auto start = Clock::now();
    std::vector<pxr7::HttpReply> replies;
    for (int i = 0; i < 60; ++i) {
        replies.push_back(api.jsonl({}));
    }
    std::size_t bytes = 0, open = replies.size();
    std::vector<bool> ended(replies.size(), false);
    while (open > 0) {
        for (std::size_t i = 0; i < replies.size(); ++i) {
            std::string part;
            if (!ended[i] && replies[i].chunks(part) != pxr7::Chunk::More) {
                ended[i] = true;
                --open;
            }
            bytes += part.size();
        }
    }
    std::printf("history API, 60 JSON Lines exports of the whole record at once: %.0f MB in "
                "%.1f s, peak memory %ld MiB before them, %ld MiB with them (goal: flat)\n",
                bytes / 1e6, msSince(start) / 1000, before, residentMiB("VmHWM:"));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pxr7_history_bench RECORD\n");
        return 2;
    }
    pxr7::RecordIndex index(argv[1]);
    std::string problem;
    auto start = Clock::now();
    if (!index.refresh(problem)) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    const double first = msSince(start);
    const long resident = residentMiB();
    start = Clock::now();
    const int again = 100;
    for (int i = 0; i < again; ++i) {
        index.refresh(problem);
    }
    const double nothingNew = msSince(start) / again;
    pxr7::HistoryQuery query(index);
    query.page({}, 1, 50);
    start = Clock::now();
    const pxr7::HistoryPage page = query.page({"failed", "", "", "", ""}, 1, 50);
    const double queried = msSince(start);

    pxr7::HistoryApi api(argv[1]);
    start = Clock::now();
    const pxr7::HttpReply reply = api.history({});
    const double firstPage = msSince(start);
    start = Clock::now();
    api.history({{"page", "2"}});
    const double nextPage = msSince(start);
    std::printf(
        "history index, %zu lines: first refresh %.0f ms (goal < 1500), "
        "resident %ld MiB, with nothing new %.3f ms; query for failed (%zu) %.1f ms (goal < 50)\n",
        index.lines().size(), first, resident, nothingNew, page.total, queried);
    std::printf("history API, first page: %.0f ms with the first refresh, %.0f ms after it "
                "(goal < 300), %zu bytes, status %d\n",
                firstPage, nextPage, reply.body.size(), reply.status);
    api.summary({}); // what each line counts as, worked out once
    start = Clock::now();
    const pxr7::HttpReply figures = api.summary({});
    const double everyLine = msSince(start);
    start = Clock::now();
    api.summary({{"result", "failed"}});
    std::printf("history API, figures (/api/history/summary) over every line: %.0f ms, over the "
                "failed: %.0f ms (goal < 100), status %d\n",
                everyLine, msSince(start), figures.status);
    manyExports(api);
    return reply.status == 200 ? 0 : 1;
}
