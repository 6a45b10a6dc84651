// The command line's arguments.
#pragma once

#include <string>
#include <vector>

namespace pxr7 {

enum class Command { None, List, Setup, Upgrade, About, Station, History, Collect, Serve };

struct Options {
    Command command = Command::None;
    std::string driverPath; // empty: the platform's default
    std::string backend;    // "", "d2xx" or "libftdi"
    bool json = false, verbose = false, quiet = false, trace = false;
    std::string logPath; // empty: no log
    std::string serial;  // empty: none
    int index = -1;      // -1: none
    bool assumeYes = false, all = false, skipIfCurrent = false, noVerify = false;
    bool setup = false;     // consent to set up leads that need it
    std::string recordPath; // empty: the default record (record.h)
    int lastEntries = 10;   // history: the last entries shown
    // station
    int count = 0;            // meters to finish; 0: until stopped
    bool laneCounts = false;  // the station shows each lane's own counts
    int retries = 2;          // further transfers after a retryable failure
    std::string benchPath;    // empty: the default bench file, if there is one (bench_file.h)
    bool unitIds = false;     // a meter is upgraded only once it has a unit id
    std::string operatorName; // station, upgrade: who runs the bench; "" none given
    std::string serve;        // station, history: "[HOST:]PORT" of the dashboard; "" none
    // history
    std::string unitId;    // empty: every unit; else only the lines of this one
    std::string benchName; // empty: every bench; else only the lines of this one
    bool verify = false;   // walk the record's chain instead of summing it up
    // several benches: history, collect, serve
    std::string database;              // "postgresql://..."; history: "" reads the record file
    std::vector<std::string> stations; // the stations' dashboards, "http://HOST:PORT"
    bool once = false;                 // collect: take what the stations have now, then end
    std::string listen;                // serve: "[HOST:]PORT" of its pages
    // the pages on the shop's network: station, history --serve, serve; collect sends the key
    std::string keyFile;                // the read key's file; "" no key
    std::vector<std::string> hostNames; // names a request's Host may give beyond the machine's
    std::string tlsCertificate, tlsKey; // the pages over TLS: PEM files; "" plain HTTP
    std::string caFile; // collect, serve: the certificates https:// stations are checked against
};

// Parses argv. Returns -1 when a command should run; otherwise the exit code to end with
// (0 after --help or --version output, 2 after a usage error), the output already printed.
// A usage error is two lines on stderr: "pxr7: <what>" and "Try 'pxr7 --help'.".
int parseOptions(int argc, char** argv, Options& options);

// The command's word on the command line ("list"); "" for Command::None.
const char* commandName(Command command);

} // namespace pxr7
