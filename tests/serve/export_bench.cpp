// Times pxr7 serve's CSV of every line, made in process as the server makes it: the first part,
// the whole, and the peak resident memory; prints figures for scripts/benchmark.sh.
//     pxr7_export_bench URL
#include "database_history_api.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// The peak resident memory so far (Linux), in MiB; 0 when unknown.
long peakMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
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
        std::fprintf(stderr, "usage: pxr7_export_bench URL\n");
        return 2;
    }
    pxr7::DatabaseHistoryApi api(argv[1]);
    std::string problem;
    if (!api.open(problem)) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    const auto start = Clock::now();
    const pxr7::HttpReply reply = api.csv({});
    if (reply.status != 200 || !reply.chunks) {
        std::fprintf(stderr, "status %d: %s\n", reply.status, reply.body.c_str());
        return 1;
    }
    std::string part;
    double first = -1;
    std::size_t bytes = 0, parts = 0;
    pxr7::Chunk chunk = pxr7::Chunk::More;
    while (chunk == pxr7::Chunk::More) {
        part.clear();
        chunk = reply.chunks(part);
        first = first < 0 ? msSince(start) : first;
        bytes += part.size();
        ++parts;
    }
    std::printf("database export in process, CSV of every line (%.0f MB, %zu parts, %s): first "
                "part %.0f ms (goal < 1 s), all %.1f s, peak memory %ld MiB (goal < 100 MB)\n",
                bytes / 1e6, parts, chunk == pxr7::Chunk::Done ? "whole" : "cut short", first,
                msSince(start) / 1000, peakMiB());
    return chunk == pxr7::Chunk::Done ? 0 : 1;
}
