// The end-to-end cases: each starts the program, drives it through its windows as a user
// would, checks what it shows and ends it.
#pragma once

#include "session.h"

#include <string>
#include <vector>

struct CaseContext {
    Session& session;
    std::vector<std::string> expected; // case-specific expectations from the command line
};

using CaseFunction = bool (*)(CaseContext& context);

struct CaseEntry {
    const char* name;
    CaseFunction run;
    const char* summary;
};

const std::vector<CaseEntry>& allCases();
