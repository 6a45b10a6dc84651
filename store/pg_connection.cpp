// libpq behind PgConnection and PgResult.
#include "pg_connection.h"

#include "password_mask.h"

#include <libpq-fe.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace pxr7 {

struct PgResult::Impl {
    PGresult* result = nullptr;
    ~Impl() { PQclear(result); }
};

PgResult::PgResult() : impl(std::make_unique<Impl>()) {}
PgResult::~PgResult() = default;
PgResult::PgResult(PgResult&&) noexcept = default;
PgResult& PgResult::operator=(PgResult&&) noexcept = default;

int PgResult::rows() const {
    return impl->result ? PQntuples(impl->result) : 0;
}

bool PgResult::isNull(int row, int column) const {
    return row >= rows() || column >= PQnfields(impl->result) ||
           PQgetisnull(impl->result, row, column);
}

std::string PgResult::text(int row, int column) const {
    if (isNull(row, column)) {
        return "";
    }
    return std::string(PQgetvalue(impl->result, row, column),
                       static_cast<std::size_t>(PQgetlength(impl->result, row, column)));
}

namespace {

std::string firstLine(const char* text) {
    std::string line = text ? text : "";
    const std::size_t end = line.find('\n');
    if (end != std::string::npos) {
        line.erase(end);
    }
    return line;
}

// libpq reports a failed connection as text only; these are the server's refusals of who we
// are, which waiting will not change.
bool isRefusal(const std::string& message) {
    static const char* const kRefusals[] = {"authentication failed", "no pg_hba.conf entry",
                                            "no password supplied", "does not exist",
                                            "permission denied"};
    for (const char* refusal : kRefusals) {
        if (message.find(refusal) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// libpq's words for an option value it cannot use (sslmode=bogus, a port that is not a number,
// more ports than hosts): the URL is wrong, and trying again will not help.
bool isConfigurationError(const std::string& message) {
    static const char* const kConfiguration[] = {"invalid ", "could not match "};
    for (const char* words : kConfiguration) {
        if (message.find(words) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// The password libpq reads from url, if it can read one.
std::vector<std::string> parsedPassword(const std::string& url) {
    std::vector<std::string> found;
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(url.c_str(), &error);
    PQfreemem(error);
    for (PQconninfoOption* option = options; option && option->keyword; ++option) {
        if (std::strcmp(option->keyword, "password") == 0 && option->val && *option->val) {
            found.push_back(option->val);
        }
    }
    PQconninfoFree(options);
    return found;
}

// The URL's connect_timeout in seconds, else 5; as libpq, never under 2.
int connectTimeoutOf(const std::string& url) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(url.c_str(), &error);
    PQfreemem(error);
    int seconds = 5;
    for (PQconninfoOption* option = options; option && option->keyword; ++option) {
        if (std::strcmp(option->keyword, "connect_timeout") == 0 && option->val) {
            seconds = std::max(2, std::atoi(option->val));
        }
    }
    PQconninfoFree(options);
    return seconds;
}

// Drives a started connection to its end, a tenth of a second at a time, so a stop asked for
// or the timeout ends it even when the server does not answer.
bool finishConnecting(PGconn* conn, int timeoutSeconds, const std::function<bool()>& stop,
                      std::string& problem) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (state != PGRES_POLLING_OK) {
        if (state == PGRES_POLLING_FAILED) {
            problem = firstLine(PQerrorMessage(conn));
            return false;
        }
        if ((stop && stop()) || std::chrono::steady_clock::now() > deadline) {
            problem = stop && stop() ? "stopped" : "the server did not answer in time";
            return false;
        }
        pollfd ready{PQsocket(conn),
                     static_cast<short>(state == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        if (::poll(&ready, 1, 100) != 0) {
            state = PQconnectPoll(conn);
        }
    }
    return true;
}

} // namespace

struct PgConnection::Impl {
    PGconn* conn = nullptr;
    std::string url;                    // as connected to, for masking what libpq says of it
    std::vector<std::string> passwords; // the ones libpq read from it
    ~Impl() { PQfinish(conn); }
    // Every message of this connection passes here: libpq may quote the URL in it.
    DbStatus status(DbProblem problem, const std::string& message, std::string sqlstate = "") {
        return {problem, withoutPasswords(message, url, passwords), std::move(sqlstate)};
    }
};

PgConnection::PgConnection() : impl_(std::make_unique<Impl>()) {}
PgConnection::~PgConnection() = default;

void PgConnection::close() {
    PQfinish(impl_->conn);
    impl_->conn = nullptr;
}

bool PgConnection::connected() const {
    return impl_->conn && PQstatus(impl_->conn) == CONNECTION_OK;
}

DbStatus PgConnection::connect(const std::string& url, const std::function<bool()>& stop) {
    close();
    impl_->url = url;
    impl_->passwords = parsedPassword(url);
    char* error = nullptr;
    PQconninfoOption* parsed = PQconninfoParse(url.c_str(), &error);
    if (!parsed) {
        const std::string why = firstLine(error ? error : "the URL cannot be read");
        PQfreemem(error);
        return impl_->status(DbProblem::BadUrl, why);
    }
    PQconninfoFree(parsed);
    // Keywords before dbname are defaults: the URL, expanded from dbname, overrides them.
    const char* keys[] = {"client_encoding", "dbname", nullptr};
    const char* values[] = {"UTF8", url.c_str(), nullptr};
    impl_->conn = PQconnectStartParams(keys, values, 1);
    std::string problem = "out of memory";
    if (impl_->conn && PQstatus(impl_->conn) != CONNECTION_BAD &&
        finishConnecting(impl_->conn, connectTimeoutOf(url), stop, problem)) {
        // The server's notices ("already exists, skipping") are not the program's output.
        PQsetNoticeProcessor(
            impl_->conn, [](void*, const char*) {}, nullptr);
        return {};
    }
    if (impl_->conn && PQstatus(impl_->conn) == CONNECTION_BAD) {
        problem = firstLine(PQerrorMessage(impl_->conn));
    }
    close();
    const DbProblem kind = isConfigurationError(problem) ? DbProblem::BadUrl
                           : isRefusal(problem)          ? DbProblem::LoginRefused
                                                         : DbProblem::Away;
    return impl_->status(kind, problem);
}

DbStatus PgConnection::exec(const std::string& sql, const std::vector<SqlParam>& params,
                            PgResult* result) {
    if (!impl_->conn) {
        return impl_->status(DbProblem::Away, "not connected");
    }
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const SqlParam& param : params) {
        values.push_back(param ? param->c_str() : nullptr);
    }
    PGresult* answer = PQexecParams(impl_->conn, sql.c_str(), static_cast<int>(values.size()),
                                    nullptr, values.data(), nullptr, nullptr, 0);
    const ExecStatusType state = answer ? PQresultStatus(answer) : PGRES_FATAL_ERROR;
    if (state == PGRES_COMMAND_OK || state == PGRES_TUPLES_OK) {
        if (result) {
            std::swap(result->impl->result, answer);
        }
        PQclear(answer);
        return {};
    }
    const char* code = answer ? PQresultErrorField(answer, PG_DIAG_SQLSTATE) : nullptr;
    const char* primary = answer ? PQresultErrorField(answer, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    DbStatus status =
        impl_->status(DbProblem::Statement,
                      firstLine(primary ? primary : PQerrorMessage(impl_->conn)), code ? code : "");
    PQclear(answer);
    if (PQstatus(impl_->conn) != CONNECTION_OK) {
        status.problem = DbProblem::Away;
    } else if (status.sqlstate.rfind("28", 0) == 0) {
        status.problem = DbProblem::LoginRefused;
    } else {
        status.problem = DbProblem::Statement;
    }
    return status;
}

void PgConnection::rollback() {
    if (connected() && PQtransactionStatus(impl_->conn) != PQTRANS_IDLE) {
        exec("ROLLBACK");
    }
}

std::string urlWithoutPassword(const std::string& url) {
    return withoutPasswords(url, url, parsedPassword(url));
}

} // namespace pxr7
