#include "cli_run.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

} // namespace

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

CliRig::CliRig(const std::string& scenario) {
    char pattern[] = "/tmp/pxr7-cli-XXXXXX";
    folder_ = mkdtemp(pattern);
    std::ofstream(path("scenario.txt")) << scenario;
}

CliRig::~CliRig() {
    std::system(("rm -rf " + quoted(folder_)).c_str());
}

CliResult CliRig::run(const std::string& arguments, const std::string& input) const {
    std::ofstream(path("stdin.txt")) << input;
    const std::string command =
        "cd " + quoted(folder_) + " && PXR7_SIM_SCENARIO=" + quoted(path("scenario.txt")) +
        " PXR7_SIM_TRACE=" + quoted(path("trace.txt")) + " timeout -k 5 120 " +
        quoted(PXR7_CLI_PATH) + " --driver " + quoted(PXR7_SIM_LIBRARY_PATH) + " " + arguments +
        " <stdin.txt >stdout.txt 2>stderr.txt";
    CliResult result;
    const int status = std::system(command.c_str());
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(path("stdout.txt"));
    result.err = readFile(path("stderr.txt"));
    return result;
}

std::vector<std::string> CliRig::trace() const {
    std::vector<std::string> lines;
    std::ifstream in(path("trace.txt"));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

int CliRig::countTrace(const std::string& prefix) const {
    int count = 0;
    for (const std::string& line : trace()) {
        count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return count;
}

void CliRig::clearTrace() const {
    std::remove(path("trace.txt").c_str());
}
