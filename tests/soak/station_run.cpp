#include "station_run.h"

#include "operator_scans.h"
#include "rig_files.h"
#include "truth.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace soak {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kLookEvery = std::chrono::milliseconds(20);
// Ctrl+C lets the meters under way finish: three transfers with their verifications at most.
constexpr long kDrainBoundMs = 90000;
// A hard stop ends within the program's own two seconds; SIGTERM the same.
constexpr long kHardStopBoundMs = 5000;
constexpr long kSecondInterruptAfterMs = 300;

long long steadyMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
        .count();
}

bool withUnitIds(const StationLaunch& launch) {
    return launch.plan != nullptr && launch.plan->unitIds;
}

// input: the read end of the operator's pipe, or -1 for none.
pid_t spawnStation(const StationLaunch& launch, int input) {
    std::vector<std::string> args = {launch.program, "--driver", launch.driver,
                                     "station",      "--record", launch.folder + "/record.jsonl"};
    if (launch.setup) {
        args.push_back("--setup");
    }
    if (withUnitIds(launch)) {
        simrig::writeFile(launch.folder + "/bench.conf", benchFileText(*launch.plan));
        for (const char* arg : {"--json", "--unit-ids", "--bench"}) {
            args.emplace_back(arg);
        }
        args.push_back(launch.folder + "/bench.conf");
    }
    std::vector<std::string> env = {"PXR7_SIM_SCENARIO=" + launch.folder + "/scenario.txt",
                                    "PXR7_SIM_TRACE=" + launch.folder + "/trace.txt",
                                    "XDG_STATE_HOME=" + launch.folder + "/state"};
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    std::vector<char*> argv, envp;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    if (input >= 0) {
        posix_spawn_file_actions_adddup2(&files, input, 0);
    } else {
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_addopen(&files, 1, (launch.folder + "/out.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&files, 2, (launch.folder + "/err.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, launch.program.c_str(), &files, nullptr, argv.data(), envp.data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

// Watches one running station: its bench clock, its record, its signals.
class Watch {
public:
    Watch(const StationLaunch& launch, pid_t pid, int input)
        : spec_(launch), pid_(pid), originUs_(steadyMicros()) {
        if (launch.plan != nullptr && input >= 0) {
            operator_.emplace(*launch.plan, input);
        }
    }
    ~Watch() {
        if (output_ != nullptr) {
            std::fclose(output_);
        }
    }

    StationRun run() {
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            findOrigin();
            readRecord();
            operate();
            signalAsPlanned();
            std::this_thread::sleep_for(kLookEvery);
        }
        readRecord();
        result_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return result_;
    }

private:
    long benchMs() const { return static_cast<long>((steadyMicros() - originUs_) / 1000); }

    // Until the simulator has said where its clock starts, the spawn stands in for it.
    void findOrigin() {
        if (!originKnown_) {
            const Truth truth = readTruth(simrig::fileText(spec_.folder + "/units.txt"));
            originKnown_ = truth.originSteadyUs >= 0;
            originUs_ = originKnown_ ? truth.originSteadyUs : originUs_;
        }
    }

    void readRecord() {
        const std::string text = simrig::fileText(spec_.folder + "/record.jsonl");
        for (std::size_t end = text.find('\n', read_); end != std::string::npos;
             end = text.find('\n', read_)) {
            result_.record.push_back(SeenLine{text.substr(read_, end - read_), benchMs()});
            read_ = end + 1;
        }
    }

    // The station's events as they come, to the operator.
    void operate() {
        if (!operator_ || !originKnown_) {
            return;
        }
        if (output_ == nullptr) {
            output_ = std::fopen((spec_.folder + "/out.txt").c_str(), "rb");
        }
        char buffer[65536];
        std::size_t got = 0;
        while (output_ != nullptr && (got = std::fread(buffer, 1, sizeof buffer, output_)) > 0) {
            events_.append(buffer, got);
        }
        if (output_ != nullptr) {
            std::clearerr(output_);
        }
        operator_->look(events_, benchMs());
    }

    void send(int signal) { kill(pid_, signal); }

    void signalAsPlanned() {
        const long now = benchMs();
        if (firstAt_ < 0 && now >= spec_.stopAtMs) {
            send(spec_.stop == StopMode::Terminate ? SIGTERM : SIGINT);
            firstAt_ = now;
            result_.signalled = true;
            hardFrom_ = spec_.stop == StopMode::Terminate ? now : -1;
        }
        if (spec_.stop == StopMode::InterruptTwice && !result_.secondSignal && firstAt_ >= 0 &&
            now >= firstAt_ + kSecondInterruptAfterMs) {
            send(SIGINT);
            result_.secondSignal = true;
            hardFrom_ = now;
        }
        if (firstAt_ >= 0 && hardFrom_ < 0 && now >= firstAt_ + kDrainBoundMs) {
            send(SIGTERM);
            result_.neededTerm = true;
            hardFrom_ = now;
        }
        if (hardFrom_ >= 0 && !result_.neededKill && now >= hardFrom_ + kHardStopBoundMs) {
            send(SIGKILL);
            result_.neededKill = true;
        }
    }

    const StationLaunch& spec_;
    pid_t pid_;
    long long originUs_;
    bool originKnown_ = false;
    std::size_t read_ = 0;
    long firstAt_ = -1;  // when the planned signal went out
    long hardFrom_ = -1; // when a stop that must end at once went out
    StationRun result_;
    std::optional<OperatorScans> operator_;
    std::FILE* output_ = nullptr;
    std::string events_;
};

} // namespace

StationRun runStation(const StationLaunch& launch) {
    int pipeEnds[2] = {-1, -1};
    if (withUnitIds(launch) && pipe(pipeEnds) != 0) {
        pipeEnds[0] = pipeEnds[1] = -1;
    }
    if (pipeEnds[1] >= 0) {
        fcntl(pipeEnds[1], F_SETFD, FD_CLOEXEC);
    }
    const pid_t pid = spawnStation(launch, pipeEnds[0]);
    if (pipeEnds[0] >= 0) {
        close(pipeEnds[0]);
    }
    StationRun run;
    if (pid < 0) {
        run.problem = "cannot start " + launch.program;
    } else {
        run = Watch(launch, pid, pipeEnds[1]).run();
    }
    if (pipeEnds[1] >= 0) {
        close(pipeEnds[1]);
    }
    return run;
}

} // namespace soak
