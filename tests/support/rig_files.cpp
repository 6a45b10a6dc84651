#include "rig_files.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace simrig {

namespace {

std::string makeFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/pxr7-rig-XXXXXX";
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

ScratchFolder::ScratchFolder() : folder_(makeFolder()) {}

ScratchFolder::~ScratchFolder() {
    if (folder_.empty()) {
        return;
    }
    if (std::getenv("PXR7_KEEP_SIM_FILES") == nullptr) {
        removeFolder(folder_);
    } else {
        std::fprintf(stderr, "rig files kept in %s\n", folder_.c_str());
    }
}

void writeFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
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

std::string fileText(const std::string& path) {
    std::string contents;
    readFile(path, contents);
    return contents;
}

bool fileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::vector<std::string> traceLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
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

int countPrefixed(const std::vector<std::string>& lines, const std::string& prefix) {
    int count = 0;
    for (const std::string& line : lines) {
        count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return count;
}

} // namespace simrig
