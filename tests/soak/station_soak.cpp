// pxr7_soak: the station on random benches, each run held against the simulator's truth.
//   pxr7_soak --seeds 2,8,21-23 the benches of these seeds, one after the other
//   pxr7_soak --minutes M       benches of random seeds until M minutes have passed
//   --keep DIR                  keep the files of each run with a violation in DIR/seed-N
//   --program PXR7 --driver LIB another pxr7 or simulator than the build's
//   pxr7_soak --scenario N      print the bench of seed N as a scenario file, run nothing
// One line per run, then the counts; exit status 1 if any run broke an invariant.
#include "soak_checks.h"
#include "soak_tally.h"

#include "rig_files.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <random>

using namespace soak;

namespace {

struct Options {
    std::vector<unsigned> seeds;
    long scenarioOf = -1;
    double minutes = 0;
    std::string keep;
    std::string program = PXR7_CLI_PATH;
    std::string driver = PXR7_SIM_LIBRARY_PATH;
};

// "2,8,21-23": single seeds and ranges.
void readSeeds(const std::string& text, std::vector<unsigned>& seeds) {
    std::size_t start = 0;
    for (;;) {
        const std::string item = text.substr(start, text.find(',', start) - start);
        const std::size_t dash = item.find('-');
        const unsigned first = static_cast<unsigned>(std::stoul(item.substr(0, dash)));
        const unsigned last = dash == std::string::npos
                                  ? first
                                  : static_cast<unsigned>(std::stoul(item.substr(dash + 1)));
        for (unsigned seed = first; seed <= last; ++seed) {
            seeds.push_back(seed);
        }
        start = text.find(',', start);
        if (start == std::string::npos) {
            return;
        }
        ++start;
    }
}

bool readOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--seeds") {
            readSeeds(value, options.seeds);
        } else if (name == "--minutes") {
            options.minutes = std::stod(value);
        } else if (name == "--scenario") {
            options.scenarioOf = std::stol(value);
        } else if (name == "--keep") {
            options.keep = value;
        } else if (name == "--program") {
            options.program = value;
        } else if (name == "--driver") {
            options.driver = value;
        } else {
            return false;
        }
    }
    return argc % 2 == 1 &&
           (options.minutes > 0 || !options.seeds.empty() || options.scenarioOf >= 0);
}

void keepFiles(const std::string& from, const std::string& keep, unsigned seed) {
    namespace fs = std::filesystem;
    const fs::path to = fs::path(keep) / ("seed-" + std::to_string(seed));
    std::error_code error;
    fs::create_directories(to, error);
    for (const fs::directory_entry& entry : fs::directory_iterator(from, error)) {
        if (entry.is_regular_file()) {
            fs::copy_file(entry.path(), to / entry.path().filename(),
                          fs::copy_options::overwrite_existing, error);
        }
    }
    std::printf("  files kept in %s\n", to.string().c_str());
}

RunReport soakOnce(const Options& options, unsigned seed, const std::string& image) {
    const BenchPlan plan = planBench(seed);
    simrig::ScratchFolder folder;
    simrig::writeFile(folder.path("scenario.txt"), scenarioText(plan, "units.txt"));
    const StationLaunch launch{
        options.program, options.driver, folder.folder(), plan.setup, plan.stopAtMs,
        plan.stop,       &plan};
    const StationRun run = runStation(launch);
    const Truth truth = readTruth(simrig::fileText(folder.path("units.txt")));
    std::vector<std::string> unreadable;
    const std::vector<RecordLine> lines = readRecordLines(plan, run.record, unreadable);
    const std::vector<std::string> trace = simrig::traceLines(folder.path("trace.txt"));
    RunReport report = checkRun(RunFacts{plan, truth, run, lines, trace, folder.folder(), image});
    const std::string seedText = "seed " + std::to_string(seed) + ": ";
    if (!run.problem.empty()) {
        report.violations.push_back(Violation{"no_run", seedText + run.problem});
    }
    for (const std::string& line : unreadable) {
        report.violations.push_back(Violation{"unreadable_record", seedText + line});
    }
    for (const std::string& line : truth.problems) {
        report.violations.push_back(Violation{"unreadable_truth", seedText + line});
    }
    printRun(plan, run, report);
    if (!report.violations.empty() && !options.keep.empty()) {
        keepFiles(folder.folder(), options.keep, seed);
    }
    return report;
}

} // namespace

int main(int argc, char** argv) {
    // The operator writes to a station that may have ended already.
    std::signal(SIGPIPE, SIG_IGN);
    Options options;
    if (!readOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: pxr7_soak (--seeds A,B-C | --minutes M | --scenario N) "
                             "[--keep DIR] [--program PXR7] [--driver LIBRARY]\n");
        return 2;
    }
    if (options.scenarioOf >= 0) {
        std::fputs(
            scenarioText(planBench(static_cast<unsigned>(options.scenarioOf)), "units.txt").c_str(),
            stdout);
        return 0;
    }
    const std::string image = simrig::fileText(PXR7_FIRMWARE_IMAGE_PATH);
    Tally tally;
    if (options.minutes > 0) {
        using Clock = std::chrono::steady_clock;
        const Clock::time_point end =
            Clock::now() + std::chrono::duration_cast<Clock::duration>(
                               std::chrono::duration<double, std::ratio<60>>(options.minutes));
        std::random_device random;
        while (Clock::now() < end) {
            tally.add(soakOnce(options, random() % 1000000u + 1000u, image));
        }
    } else {
        for (const unsigned seed : options.seeds) {
            tally.add(soakOnce(options, seed, image));
        }
    }
    tally.print();
    return tally.violations.empty() ? 0 : 1;
}
