// The bench file: the names printed on the bench's fixtures, by the lead's location or serial
// number, and whether the station asks for unit ids. A small line format (docs/guide.md):
//
//     # pxr7 bench file
//     bench = Line 3 east
//     unit_ids = yes
//     verify_seconds = 30
//     unit_id_order = fixture
//     operator = J. Smith
//     out_of_service_after = 3
//     serial PX7A0001 = Fixture A
//     location 0x01200000 = Fixture B
//
// A lead matched by location is named by it before its serial number is looked at: a lead
// moved to another fixture keeps its serial number but not its place.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace pxr7 {

constexpr int kDefaultVerifySeconds = 10;
constexpr int kLongestVerifySeconds = 600;
constexpr int kMostFailuresInARow = 100;

struct BenchFile {
    std::string name; // the bench's name in its record lines; "" for the host's name
    bool unitIds = false;
    // How long a restarted meter may take to answer on its new firmware.
    int verifySeconds = kDefaultVerifySeconds;
    // Who runs the bench ("" nobody named), and where an id without a fixture scan goes.
    std::string operatorName;
    bool unitIdsOldestFirst = false;
    // Meters failed in a row on one lane before it takes no more until someone takes it back
    // (a worn fixture fails meter after meter); 0: never.
    int outOfServiceAfter = 0;
    std::map<std::string, std::string> bySerial;
    std::map<std::uint32_t, std::string> byLocation;
};

struct BenchFileParse {
    bool ok = true;
    int line = 0;        // the first bad line, counted from 1
    std::string problem; // what is wrong with it
    BenchFile bench;
};

// Parses the file's text; the first bad line refuses the whole file.
BenchFileParse parseBenchFile(const std::string& text);

// The lead's name on the bench, or "" when the file names it nowhere.
std::string laneNameFor(const BenchFile& bench, const std::string& serial,
                        const std::optional<std::uint32_t>& location);

// The bench file's name in the program's config folder.
constexpr char kBenchFileName[] = "bench.conf";

// Reads and parses the file at path. A missing file is an empty bench unless mustExist. False,
// with problem naming the file (and the line) and what is wrong, when it cannot be used.
bool loadBenchFile(const std::string& path, bool mustExist, BenchFile& bench, std::string& problem);

} // namespace pxr7
