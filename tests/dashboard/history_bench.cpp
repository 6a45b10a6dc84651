// Times the history on a record: the index's first refresh and one with nothing new, a query,
// and the first page through HistoryApi as the server asks for it. Prints figures for
// scripts/benchmark.sh.
#include "history_api.h"
#include "history_query.h"
#include "record_index.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// Resident memory now (Linux), in MiB; 0 when unknown.
long residentMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6)) / 1024;
        }
    }
    return 0;
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
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
    return reply.status == 200 ? 0 : 1;
}
