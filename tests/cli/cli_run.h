// Runs the pxr7 program against the simulated bridge in a scratch rig folder.
#pragma once

#include <string>
#include <vector>

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class CliRig {
public:
    // A fresh folder holding scenario.txt with the given text.
    explicit CliRig(const std::string& scenario);
    ~CliRig();

    // Runs pxr7 with the simulator as its driver and the given arguments (and standard input),
    // under a watchdog so a hang fails instead of stalling the run.
    CliResult run(const std::string& arguments, const std::string& input = "") const;

    std::string path(const std::string& name) const { return folder_ + "/" + name; }
    std::vector<std::string> trace() const;
    // Trace lines that start with prefix.
    int countTrace(const std::string& prefix) const;
    void clearTrace() const;

private:
    std::string folder_;
};

std::string readFile(const std::string& path);
