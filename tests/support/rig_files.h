// What every rig of the tests shares: a scratch folder with its files, and the simulator's
// call trace read back as lines.
#pragma once

#include <string>
#include <vector>

namespace simrig {

// A fresh folder under $TMPDIR (or /tmp), removed with its files when the object goes,
// unless PXR7_KEEP_SIM_FILES is set. empty() when it could not be made.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool empty() const { return folder_.empty(); }
    const std::string& folder() const { return folder_; }
    std::string path(const std::string& name) const { return folder_ + "/" + name; }

private:
    std::string folder_;
};

void writeFile(const std::string& path, const std::string& contents);
bool readFile(const std::string& path, std::string& contents);
// The file's bytes, empty if it cannot be read.
std::string fileText(const std::string& path);
bool fileExists(const std::string& path);

// A trace file's calls, one entry per non-empty line.
std::vector<std::string> traceLines(const std::string& path);
// The function name of a trace line ("FT_Read bridge=0 ..." gives "FT_Read").
std::string callName(const std::string& line);
std::vector<std::string> callNames(const std::vector<std::string>& lines);
// The lines that carry bridge=<bridge>.
std::vector<std::string> linesOfBridge(const std::vector<std::string>& lines, int bridge);
// The value of key in a trace line ("" if absent): valueOf("FT_Read got=3 ...", "got") is "3".
std::string valueOf(const std::string& line, const std::string& key);
// How many lines start with the call name.
int countCalls(const std::vector<std::string>& lines, const std::string& name);
// How many lines start with prefix.
int countPrefixed(const std::vector<std::string>& lines, const std::string& prefix);

} // namespace simrig
