#include "cli_rig.h"

#include <cstdio>
#include <cstdlib>

#include <sys/wait.h>

namespace simrig {

namespace {

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

} // namespace

CliRig::CliRig(const std::string& scenario, RigBackend backend) : backend_(backend) {
    writeFile(path("scenario.txt"), scenario);
}

std::string CliRig::builtProgram() {
    return PXR7_CLI_PATH;
}

std::string CliRig::commandLine(const std::string& arguments) const {
    // The record goes to the rig's own folder (state/pxr7/record.jsonl), never the real home.
    std::string line = "PXR7_SIM_SCENARIO=" + quoted(path("scenario.txt")) +
                       " PXR7_SIM_TRACE=" + quoted(path("trace.txt")) +
                       " XDG_STATE_HOME=" + quoted(path("state"));
#if defined(PXR7_USB_SIM_DIR)
    if (backend_ == RigBackend::Libftdi) {
        return line + " LD_LIBRARY_PATH=" + quoted(PXR7_USB_SIM_DIR) + " timeout -k 5 120 " +
               quoted(program_) + " --backend libftdi " + arguments;
    }
#endif
    return line + " timeout -k 5 120 " + quoted(program_) + " --driver " +
           quoted(PXR7_SIM_LIBRARY_PATH) + " " + arguments;
}

int CliRig::shell(const std::string& script) const {
    const std::string command = "cd " + quoted(files_.folder()) + " && { " + script + "\n}";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

CliResult CliRig::run(const std::string& arguments, const std::string& input) const {
    writeFile(path("stdin.txt"), input);
    CliResult result;
    result.exitCode = shell(commandLine(arguments) + " <stdin.txt >stdout.txt 2>stderr.txt");
    result.out = fileText(path("stdout.txt"));
    result.err = fileText(path("stderr.txt"));
    return result;
}

void CliRig::clearTrace() const {
    std::remove(path("trace.txt").c_str());
}

std::string waitForTrace(const std::string& prefix, int count) {
    return "i=0; until n=$(grep -c '^" + prefix + "' trace.txt 2>/dev/null); [ \"${n:-0}\" -ge " +
           std::to_string(count) + " ] || [ $i -ge 1000 ]; do sleep 0.01; i=$((i+1)); done; ";
}

} // namespace simrig
