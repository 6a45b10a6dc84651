// The dashboard beside a command (`station --serve`, `history --serve`): listening on the
// address given, its URL said, the record's history pages and, for the station, its live page.
#pragma once

#include "dashboard_routes.h"
#include "history_api.h"
#include "http_server.h"
#include "live_feed.h"
#include "shared_options.h"

#include <chrono>
#include <set>
#include <string>

namespace pxr7 {

// Who may read the pages served: the read key and the extra names of --key-file and
// --host-name.
struct PageAccess {
    std::string key; // "" none
    std::set<std::string> hostNames;
    std::string tlsCertificate, tlsKey; // "" plain HTTP
};

// Makes server speak TLS when access says so; false, said on the terminal, when it cannot
// (the command then ends with Outcome::ServeFailed).
bool tlsAsAsked(DashboardServer& server, const PageAccess& access);

// From the options; false, said on the terminal, when the key file cannot be read (then the
// command ends with Outcome::Usage before it starts anything).
bool pageAccessOf(const PageAccessOptions& options, PageAccess& access);

class ServedDashboard {
public:
    // feed: the station's, or nullptr for the history alone.
    ServedDashboard(const std::string& recordPath, LiveFeed* feed);

    // Listens on address ("[HOST:]PORT") and says where to look. False, said on the terminal,
    // when it cannot: the command then ends with Outcome::ServeFailed before it starts anything.
    bool start(const std::string& address, const PageAccess& access);
    // Gives the pages up to flush to take the last events, then closes.
    void stop(std::chrono::milliseconds flush = std::chrono::milliseconds(0));

private:
    HistoryApi history_;
    DashboardRoutes routes_;
    DashboardServer server_;
};

// The station's feed, with its bench's name (the host's when the bench file names none), the
// host and the image it serves.
LiveFeedSettings liveFeedSettings(const std::string& benchName);

// Returns once Ctrl+C, SIGTERM or SIGHUP has come (installStopSignals() before): what serves
// runs on threads of its own meanwhile.
void waitForStopSignal();

} // namespace pxr7
