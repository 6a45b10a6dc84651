#include "dashboard_routes.h"

#include "page_assets.h"

#include <algorithm>

namespace pxr7 {

namespace {

// The page's own scripts, styles and requests only; nothing inline, no frames around it.
constexpr char kContentPolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'";

HttpReply redirect(const std::string& to) {
    HttpReply reply;
    reply.status = 303;
    reply.headers.emplace_back("Location", to);
    return reply;
}

// The history's page for a page path: "/history" is history.html.
const char* pageFileFor(const std::string& path, bool live, bool overview) {
    if (path == "/" && (live || overview)) {
        return live ? "live.html" : "overview.html";
    }
    if (path == "/history") {
        return "history.html";
    }
    if (path == "/entry") {
        return "entry.html";
    }
    return nullptr;
}

} // namespace

void addSafetyHeaders(HttpReply& reply) {
    reply.headers.emplace_back("Content-Security-Policy", kContentPolicy);
    reply.headers.emplace_back("X-Content-Type-Options", "nosniff");
    reply.headers.emplace_back("Referrer-Policy", "no-referrer");
    reply.headers.emplace_back("Cache-Control", "no-store");
}

void DashboardRoutes::guardWith(std::set<std::string> extraHostNames, std::string readKey) {
    extraHostNames_ = std::move(extraHostNames);
    readKey_ = readKey.empty() ? ReadKey() : ReadKey(std::move(readKey));
    hostRules_ = hostRulesFor(hostRules_.loopbackOnly, extraHostNames_);
}

void DashboardRoutes::listeningOn(bool loopbackOnly) {
    hostRules_ = hostRulesFor(loopbackOnly, extraHostNames_);
}

// A link with the right ?key= sets the key's cookie and leads to the same page without it.
bool DashboardRoutes::keyLinkFollowed(const DashboardRequest& request, const RequestTarget& target,
                                      Routed& routed) const {
    const auto given = target.params.find("key");
    if (given == target.params.end() || !readKey_.matches(given->second)) {
        return false;
    }
    std::string query;
    const std::size_t mark = request.target.find('?');
    std::size_t at = mark == std::string::npos ? request.target.size() : mark + 1;
    while (at < request.target.size()) {
        const std::size_t end = std::min(request.target.find('&', at), request.target.size());
        const std::string part = request.target.substr(at, end - at);
        if (part.compare(0, 4, "key=") != 0 && !part.empty()) {
            query += (query.empty() ? "?" : "&") + part;
        }
        at = end + 1;
    }
    routed.reply = redirect(target.path + query);
    routed.reply.headers.emplace_back("Set-Cookie", readKey_.setCookie());
    return true;
}

Routed DashboardRoutes::route(const DashboardRequest& request) {
    Routed routed;
    const RequestTarget target = parseTarget(request.target);
    if (request.method != "GET" && request.method != "HEAD") {
        routed.reply = errorReply(405, "the dashboard only reads: GET and HEAD");
        routed.reply.headers.emplace_back("Allow", "GET, HEAD");
    } else if (!hostAllowed(request.host, hostRules_)) {
        routed.reply = errorReply(421, hostRules_.loopbackOnly
                                           ? "this dashboard answers to 127.0.0.1, localhost and "
                                             "[::1] only"
                                           : "this dashboard does not answer to that name: open "
                                             "it by its address or by a name it was given");
    } else if (!target.valid) {
        routed.reply = errorReply(400, "the address is not one this dashboard can read");
    } else if (readKey_.required() && keyLinkFollowed(request, target, routed)) {
        // the key's cookie set
    } else if (readKey_.required() && !readKey_.shownBy(request.authorization, request.cookie)) {
        routed.reply = errorReply(401, "this dashboard needs its key: open the link with ?key= "
                                       "once, or send Authorization: Bearer and the key");
        routed.reply.headers.emplace_back("WWW-Authenticate", "Bearer realm=\"pxr7\"");
    } else if (live_ != nullptr && target.path == "/api/events") {
        routed.eventStream = true;
        routed.lastEventId = request.lastEventId;
        const auto given = target.params.find("last_event_id");
        if (routed.lastEventId.empty() && given != target.params.end()) {
            routed.lastEventId = given->second;
        }
    } else if (target.path.compare(0, 5, "/api/") == 0) {
        routed.reply = api(target.path, target.params);
    } else if (const char* file =
                   pageFileFor(target.path, live_ != nullptr, overview_ != nullptr)) {
        routed.reply = page(file);
    } else if (target.path == "/") {
        routed.reply = redirect("/history");
    } else if (target.path.compare(0, 8, "/static/") == 0 &&
               target.path.find(".html") == std::string::npos) {
        routed.reply = page(target.path.substr(8));
    } else {
        routed.reply = errorReply(404, "no such page");
    }
    addSafetyHeaders(routed.reply);
    return routed;
}

bool DashboardRoutes::mayBlock(const DashboardRequest& request) const {
    const std::string path = parseTarget(request.target).path;
    // Every answer of the API but these few reads the history; a new one does too, unless
    // named here.
    return path.compare(0, 5, "/api/") == 0 && path != "/api/snapshot" && path != "/api/overview" &&
           path != "/api/events";
}

void DashboardRoutes::warmUp() {
    history_.history(QueryParams());
}

HttpReply DashboardRoutes::page(const std::string& file) const {
    const EmbeddedFile* found = findPageFile(file);
    if (found == nullptr) {
        return errorReply(404, "no such page");
    }
    HttpReply reply;
    reply.contentType = pageFileType(file);
    reply.body.assign(found->bytes, found->size);
    return reply;
}

HttpReply DashboardRoutes::api(const std::string& path, const QueryParams& params) {
    if (path == "/api/snapshot" && live_ != nullptr) {
        return jsonReply(200, live_->snapshot());
    }
    if (path == "/api/overview" && overview_ != nullptr) {
        return jsonReply(200, overview_->overviewJson());
    }
    if (path == "/api/history") {
        return history_.history(params);
    }
    if (path == "/api/history.csv") {
        return history_.csv(params);
    }
    if (path == "/api/history.jsonl") {
        return history_.jsonl(params);
    }
    if (path == "/api/entry") {
        return history_.entry(params);
    }
    if (path == "/api/history/summary") {
        return history_.summary(params);
    }
    return errorReply(404, "no such address in the dashboard's API");
}

} // namespace pxr7
