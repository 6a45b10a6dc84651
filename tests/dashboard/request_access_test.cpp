// Who may read the pages: the names a Host may give, and the read key on every kind of request.
#include "dashboard_routes.h"
#include "history_api.h"
#include "host_name.h"
#include "request_access.h"
#include "rig_files.h"

#include <gtest/gtest.h>

namespace pxr7 {
namespace {

TEST(RequestAccess, OnlyNamesOfThisMachineOrAddresses) {
    const HostRules loopback = hostRulesFor(true, {});
    const HostRules shop = hostRulesFor(false, {"Bench-3.Shop.Lan"});
    const std::string own = hostName();
    const struct {
        std::string host;
        bool onLoopback, inShop;
    } cases[] = {
        {"127.0.0.1:8470", true, true},
        {"LOCALHOST", true, true},
        {"[::1]:80", true, true},
        {"192.168.1.5:8470", false, true},
        {"[fe80::1]:8470", false, true},
        {"bench-3.shop.lan:8470", false, true},
        {own + ":8470", false, true},
        {own + ".local", false, true},
        {"evil.example:8470", false, false}, // a name that was made to lead here
        {own + ".evil.example", false, false},
        {"192.168.1.5.evil.example", false, false},
        {"1.2.3", false, false},
        {"256.1.1.1", false, false},
        {"[::1", false, false},
        {"", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hostAllowed(c.host, loopback), c.onLoopback) << c.host;
        EXPECT_EQ(hostAllowed(c.host, shop), c.inShop) << c.host;
    }
}

TEST(RequestAccess, WithAKeyNothingAnswersWithoutIt) {
    const std::string key = "k3y-0f-the-shop-1234";
    HistoryApi history("/nonexistent/record.jsonl");
    LiveFeed feed(LiveFeedSettings{});
    DashboardRoutes routes(history, &feed);
    routes.guardWith({}, key);
    routes.listeningOn(false);
    const std::string cookie =
        ReadKey(key).setCookie().substr(0, ReadKey(key).setCookie().find(';'));
    const struct {
        std::string target, authorization, cookie;
        int status; // 0: the event stream
    } cases[] = {
        {"/", "", "", 401},
        {"/history", "", "", 401},
        {"/static/app.css", "", "", 401},
        {"/api/history", "", "", 401},
        {"/api/events", "", "", 401},
        {"/api/history", "Bearer " + key, "", 200},
        {"/api/history", "Bearer " + key + "x", "", 401},
        {"/api/history", "Basic " + key, "", 401},
        {"/api/history", "", cookie, 200},
        {"/api/events", "", "a=b; " + cookie, 0},
        {"/api/history", "", "pxr7_key_000000000000=" + key, 401}, // another dashboard's name
        {"/?key=" + key.substr(1), "", "", 401},
        {"/api/history", "", cookie + "x", 401},
    };
    for (const auto& c : cases) {
        const Routed routed =
            routes.route({"GET", c.target, "10.0.0.2:8470", "", c.authorization, c.cookie});
        EXPECT_EQ(routed.eventStream ? 0 : routed.reply.status, c.status)
            << c.target << " / " << c.authorization << " / " << c.cookie;
    }
    // The link sets the cookie and leads to the same page without the key in its address.
    const Routed link =
        routes.route({"GET", "/entry?line=4&key=" + key + "&x=1", "10.0.0.2:8470", "", "", ""});
    EXPECT_EQ(link.reply.status, 303);
    std::map<std::string, std::string> headers(link.reply.headers.begin(),
                                               link.reply.headers.end());
    EXPECT_EQ(headers["Location"], "/entry?line=4&x=1");
    EXPECT_EQ(headers["Set-Cookie"], ReadKey(key).setCookie());
    EXPECT_NE(headers["Set-Cookie"].find("HttpOnly; SameSite=Strict"), std::string::npos);
    // A foreign name is refused before any key is looked at.
    EXPECT_EQ(
        routes.route({"GET", "/api/history", "evil.example", "", "Bearer " + key, ""}).reply.status,
        421);
}

TEST(RequestAccess, KeyFilesHoldOneUsableKey) {
    simrig::ScratchFolder scratch;
    const struct {
        std::string text;
        bool ok;
        std::string key;
    } cases[] = {
        {"k3y-0f-the-shop-1234\n", true, "k3y-0f-the-shop-1234"},
        {"k3y-0f-the-shop-1234\r\nmore\n", true, "k3y-0f-the-shop-1234"},
        {"k3y-0f-the-shop-1234", true, "k3y-0f-the-shop-1234"},
        {"short\n", false, ""},
        {"", false, ""},
        {"k3y with blanks in it\n", false, ""},
        {"k3y;0f;the;shop;1234\n", false, ""},
        {"k3y,0f\"the\\shop1234\n", false, ""},
        {std::string(257, 'k') + "\n", false, ""},
        {"k\xC3\xBCy-0f-the-shop-1234\n", false, ""},
    };
    for (const auto& c : cases) {
        const std::string path = scratch.path("key");
        simrig::writeFile(path, c.text);
        std::string key, problem;
        EXPECT_EQ(readKeyFile(path, key, problem), c.ok) << c.text;
        EXPECT_EQ(key, c.key) << c.text;
        EXPECT_EQ(problem.empty(), c.ok) << c.text;
    }
    std::string key, problem;
    EXPECT_FALSE(readKeyFile(scratch.path("none"), key, problem));
}

} // namespace
} // namespace pxr7
