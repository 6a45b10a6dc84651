// Drives the Windows program through its windows for the end-to-end tests:
//   e2e-driver <case> <program.exe> <artefact folder> [expected...]
// Prints one "PASS <case>" or "FAIL <case>: <reason>" line; exit code 0 on pass.
#include "cases.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: e2e-driver <case> <program.exe> <artefact folder> "
                             "[expected...]\ncases:\n");
        for (const CaseEntry& entry : allCases()) {
            std::fprintf(stderr, "  %-22s %s\n", entry.name, entry.summary);
        }
        return 2;
    }
    for (const CaseEntry& entry : allCases()) {
        if (std::strcmp(entry.name, argv[1]) != 0) {
            continue;
        }
        Session session(argv[2], argv[3], entry.name);
        CaseContext context{session, {}};
        for (int i = 4; i < argc; ++i) {
            context.expected.push_back(argv[i]);
        }
        const bool passed = entry.run(context) && !session.failed();
        if (passed) {
            std::printf("PASS %s\n", entry.name);
        } else {
            std::printf("FAIL %s: %s\n", entry.name, session.failure().c_str());
        }
        std::fflush(stdout);
        return passed ? 0 : 1;
    }
    std::fprintf(stderr, "unknown case %s\n", argv[1]);
    return 2;
}
