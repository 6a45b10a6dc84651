// One connection to PostgreSQL and the results of its statements, the only place that sees
// libpq. Every value goes to the server as a bound text parameter, never into the SQL text.
// Failures are values: what went wrong, the server's first line and its SQLSTATE.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pxr7 {

// Why a statement or a connection failed: the kind decides whether trying again can help.
enum class DbProblem {
    None,
    BadUrl,       // libpq cannot read the URL or one of its values: trying again will not help
    LoginRefused, // the server refused who we are (SQLSTATE class 28, or no such database)
    Away,         // the server cannot be reached, or the connection broke: try again later
    Statement,    // the statement failed on a live connection
};

struct DbStatus {
    DbProblem problem = DbProblem::None;
    std::string message;  // the first line of libpq's or the server's message, passwords masked
    std::string sqlstate; // five characters when the server sent one
    bool ok() const { return problem == DbProblem::None; }
};

using SqlParam = std::optional<std::string>; // nullopt is SQL NULL

// Rows of text, as the server sent them.
class PgResult {
public:
    PgResult();
    ~PgResult();
    PgResult(PgResult&&) noexcept;
    PgResult& operator=(PgResult&&) noexcept;

    int rows() const;
    bool isNull(int row, int column) const;
    std::string text(int row, int column) const;

    struct Impl;
    std::unique_ptr<Impl> impl;
};

class PgConnection {
public:
    PgConnection();
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Connects to url as libpq reads it, with a 5 s connect timeout unless the url sets one,
    // in UTF-8; stop, when it says so, ends the wait for the server at once (Away). A former
    // connection is closed first.
    DbStatus connect(const std::string& url, const std::function<bool()>& stop = {});
    void close();
    bool connected() const;

    DbStatus exec(const std::string& sql, const std::vector<SqlParam>& params = {},
                  PgResult* result = nullptr);

    DbStatus begin() { return exec("BEGIN"); }
    DbStatus commit() { return exec("COMMIT"); }
    // After a failure inside a transaction; harmless when none is open or the link is gone.
    void rollback();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The URL to show people: any password in it replaced by "***", however it is spelt
// (password_mask.h).
std::string urlWithoutPassword(const std::string& url);

} // namespace pxr7
