// Which answer each request gets: the pages, the snapshot, the event stream, the history; and
// the rules that keep the dashboard read-only and safe on a bench network: GET and HEAD only,
// a Host header that names this machine (so a web page elsewhere cannot reach it through a
// name that points here), the read key when there is one, and headers on every answer
// that keep a browser to the page's own scripts and styles.
#pragma once

#include "history_source.h"
#include "http_reply.h"
#include "live_feed.h"
#include "request_access.h"

#include <set>
#include <string>

namespace pxr7 {

struct DashboardRequest {
    std::string method; // as sent, e.g. "GET"
    std::string target; // e.g. "/api/history?page=2"
    std::string host;   // the Host header; "" when none
    std::string lastEventId;
    std::string authorization; // the Authorization header; "" when none
    std::string cookie;        // the Cookie header; "" when none
};

struct Routed {
    HttpReply reply;
    bool eventStream = false; // GET /api/events: the server streams the feed from lastEventId
    std::string lastEventId;  // the header's, else the query's last_event_id
};

class DashboardRoutes {
public:
    // live: the station's feed, or nullptr for the history alone; overview: the stations'
    // overview, which then is the first page.
    DashboardRoutes(HistorySource& history, LiveFeed* live, OverviewSource* overview = nullptr)
        : history_(history), live_(live), overview_(overview) {}

    // Who may read, set before the server starts: the names a Host may give beyond the
    // machine's own, and the read key ("" none).
    void guardWith(std::set<std::string> extraHostNames, std::string readKey);
    // Listening on loopback only: requests must name the machine as 127.0.0.1, [::1] or
    // localhost (any port); otherwise also its own name, an address or an extra name.
    void listeningOn(bool loopbackOnly);

    // Whether answering may wait on the history (a file, the database): the server then answers
    // off its I/O thread. Cheap; says nothing of whether the request will be refused.
    bool mayBlock(const DashboardRequest& request) const;
    // Called from several threads at once.
    Routed route(const DashboardRequest& request);
    // Reads the record once ahead of the first request, so the history's first page does not
    // wait for a long record to be read.
    void warmUp();

private:
    bool keyLinkFollowed(const DashboardRequest& request, const RequestTarget& target,
                         Routed& routed) const;
    HttpReply page(const std::string& file) const;
    HttpReply api(const std::string& path, const QueryParams& params);

    HistorySource& history_; // safe to call from several threads at once
    LiveFeed* live_;
    OverviewSource* overview_;
    std::set<std::string> extraHostNames_;
    HostRules hostRules_;
    ReadKey readKey_;
};

// The headers every answer carries.
void addSafetyHeaders(HttpReply& reply);

} // namespace pxr7
