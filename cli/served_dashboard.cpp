#include "served_dashboard.h"

#include "commands.h"
#include "firmware_image.h"
#include "firmware_image_check.h"
#include "host_name.h"
#include "json_writer.h"
#include "printable.h"
#include "request_access.h"
#include "stop_signals.h"
#include "terminal.h"

#include <chrono>
#include <thread>

namespace pxr7 {

ServedDashboard::ServedDashboard(const std::string& recordPath, LiveFeed* feed)
    : history_(recordPath), routes_(history_, feed), server_(routes_, feed) {}

bool pageAccessOf(const PageAccessOptions& options, PageAccess& access) {
    access.hostNames = {options.hostNames.begin(), options.hostNames.end()};
    access.tlsCertificate = options.tlsCertificate;
    access.tlsKey = options.tlsKey;
    std::string problem;
    if (!options.keyFile.empty() && !readKeyFile(options.keyFile, access.key, problem)) {
        terminal().line(LineKind::Error, "pxr7: " + printable(problem) + ".");
        return false;
    }
    return true;
}

bool tlsAsAsked(DashboardServer& server, const PageAccess& access) {
    std::string problem;
    if (!access.tlsCertificate.empty() &&
        !server.speakTls(access.tlsCertificate, access.tlsKey, problem)) {
        terminal().line(LineKind::Error, "pxr7: no TLS: " + printable(problem) + ".");
        return false;
    }
    return true;
}

bool ServedDashboard::start(const std::string& address, const PageAccess& access) {
    ServeAddress where;
    std::string problem;
    routes_.guardWith(access.hostNames, access.key);
    if (!tlsAsAsked(server_, access)) {
        return false;
    }
    if (!parseServeAddress(address, where, problem) || !server_.start(where, problem)) {
        terminal().line(LineKind::Error, "pxr7: the dashboard cannot listen: " + problem + ".");
        return false;
    }
    if (terminal().settings().json) {
        JsonObject().add("event", "dashboard").add("url", server_.url()).print();
    } else {
        terminal().line(LineKind::Info,
                        "Dashboard: " + server_.url() +
                            (access.key.empty() ? " (read-only)"
                                                : " (read-only; open it once as ?key= and the "
                                                  "key in the key file)"));
    }
    return true;
}

void ServedDashboard::stop(std::chrono::milliseconds flush) {
    server_.stop(flush);
}

LiveFeedSettings liveFeedSettings(const std::string& benchName) {
    LiveFeedSettings settings;
    settings.host = hostName();
    settings.bench = benchName.empty() ? settings.host : benchName;
    const char* version = embeddedImageVersion();
    settings.imageVersion = version != nullptr ? version : "";
    settings.imageSha256 = builtImageDigest();
    settings.imageNotice = embeddedImageIsStandIn() ? kStandInImageNotice : "";
    return settings;
}

void waitForStopSignal() {
    while (!anyStopSignal()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

} // namespace pxr7
