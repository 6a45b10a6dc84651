// Runs the pxr7 program against the simulated bridge in a scratch rig folder.
#pragma once

#include "rig_files.h"

#include <string>
#include <vector>

namespace simrig {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// How the program reaches the simulated bridges: FTDI's interface (the D2XX simulator, given
// with --driver), or libftdi1 over the USB-level simulated FT232R (--backend libftdi, with the
// stand-in libusb first on the library path).
enum class RigBackend { D2xx, Libftdi };

class CliRig {
public:
    // A fresh folder holding scenario.txt with the given text.
    explicit CliRig(const std::string& scenario, RigBackend backend = RigBackend::D2xx);

    // The pxr7 the build made, which the rig runs unless told to run another (a copy).
    static std::string builtProgram();
    void runProgram(const std::string& path) { program_ = path; }

    // Runs pxr7 with the simulator as its driver and the given arguments (and standard input),
    // under a watchdog so a hang fails instead of stalling the run.
    CliResult run(const std::string& arguments, const std::string& input = "") const;

    // The command line that runs pxr7 with the given arguments against the simulator, for a
    // test's own shell script (a pipe, a signal).
    std::string commandLine(const std::string& arguments) const;
    // Runs a shell script in the rig's folder and returns its exit status.
    int shell(const std::string& script) const;

    std::string path(const std::string& name) const { return files_.path(name); }
    // The record the program appends to by default in this rig.
    std::string recordPath() const { return path("state/pxr7/record.jsonl"); }
    std::vector<std::string> trace() const { return traceLines(path("trace.txt")); }
    // Trace lines that start with prefix.
    int countTrace(const std::string& prefix) const { return countPrefixed(trace(), prefix); }
    void clearTrace() const;

private:
    ScratchFolder files_;
    RigBackend backend_;
    std::string program_ = builtProgram();
};

// A shell fragment, for CliRig::shell, that waits (ten seconds at most) until the rig's trace
// has count lines that start with prefix.
std::string waitForTrace(const std::string& prefix, int count);

} // namespace simrig
