#include "sim_rig.h"

#include "bridge_library.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pxr7;

namespace simrig {

namespace {

void writeFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

std::string makeFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/pxr7-sim-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        return std::string();
    }
    return std::string(buffer.data());
}

void removeFolder(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            std::remove((folder + "/" + name).c_str());
        }
    }
    closedir(dir);
    rmdir(folder.c_str());
}

} // namespace

const char* simLibraryPath() {
    return PXR7_SIM_LIBRARY_PATH;
}

const char* incompleteSimLibraryPath() {
    return PXR7_SIM_INCOMPLETE_LIBRARY_PATH;
}

bool resetSimulator() {
    void* module = dlopen(simLibraryPath(), RTLD_NOW | RTLD_NOLOAD);
    if (module == nullptr) {
        return false;
    }
    using ResetFunction = void (*)();
    auto reset = reinterpret_cast<ResetFunction>(dlsym(module, "pxr7sim_reset"));
    if (reset != nullptr) {
        reset();
    }
    dlclose(module);
    return reset != nullptr;
}

SimRig::SimRig(const std::string& scenarioText) {
    folder_ = makeFolder();
    if (folder_.empty()) {
        return;
    }
    scenarioPath_ = folder_ + "/scenario.txt";
    tracePath_ = folder_ + "/trace.txt";
    writeFile(scenarioPath_, scenarioText);
    writeFile(tracePath_, "");
    setenv("PXR7_SIM_SCENARIO", scenarioPath_.c_str(), 1);
    setenv("PXR7_SIM_TRACE", tracePath_.c_str(), 1);
    ready_ = loadBridgeLibraryFrom(simLibraryPath()) && resetSimulator();
}

SimRig::~SimRig() {
    if (folder_.empty()) {
        return;
    }
    // Leave the simulator pointing nowhere so nothing writes into a removed folder.
    unsetenv("PXR7_SIM_SCENARIO");
    unsetenv("PXR7_SIM_TRACE");
    resetSimulator();
    if (std::getenv("PXR7_KEEP_SIM_FILES") == nullptr) {
        removeFolder(folder_);
    } else {
        std::fprintf(stderr, "simulator files kept in %s\n", folder_.c_str());
    }
}

bool SimRig::restart() {
    return resetSimulator();
}

void SimRig::rewriteScenario(const std::string& scenarioText) {
    writeFile(scenarioPath_, scenarioText);
}

std::string SimRig::path(const std::string& name) const {
    return folder_ + "/" + name;
}

std::vector<std::string> SimRig::trace() const {
    std::vector<std::string> lines;
    std::ifstream in(tracePath_);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

void SimRig::clearTrace() {
    // The simulator appends, so truncating in place is safe.
    writeFile(tracePath_, "");
}

std::string callName(const std::string& line) {
    return line.substr(0, line.find(' '));
}

std::vector<std::string> callNames(const std::vector<std::string>& lines) {
    std::vector<std::string> names;
    for (const std::string& line : lines) {
        names.push_back(callName(line));
    }
    return names;
}

std::vector<std::string> linesOfBridge(const std::vector<std::string>& lines, int bridge) {
    const std::string key = " bridge=" + std::to_string(bridge) + " ";
    std::vector<std::string> selected;
    for (const std::string& line : lines) {
        if (line.find(key) != std::string::npos) {
            selected.push_back(line);
        }
    }
    return selected;
}

std::string valueOf(const std::string& line, const std::string& key) {
    const std::string marker = " " + key + "=";
    const std::size_t at = line.find(marker);
    if (at == std::string::npos) {
        return std::string();
    }
    const std::size_t start = at + marker.size();
    return line.substr(start, line.find(' ', start) - start);
}

int countCalls(const std::vector<std::string>& lines, const std::string& name) {
    int count = 0;
    for (const std::string& line : lines) {
        count += callName(line) == name ? 1 : 0;
    }
    return count;
}

bool readFile(const std::string& path, std::string& contents) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    contents = buffer.str();
    return true;
}

bool fileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

} // namespace simrig
