// libpq behind PgConnection and PgResult.
#include "pg_connection.h"

#include <libpq-fe.h>

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
    if (isNull(row, column))
        return "";
    return std::string(PQgetvalue(impl->result, row, column),
                       static_cast<std::size_t>(PQgetlength(impl->result, row, column)));
}

namespace {

std::string firstLine(const char* text) {
    std::string line = text ? text : "";
    const std::size_t end = line.find('\n');
    if (end != std::string::npos)
        line.erase(end);
    return line;
}

// libpq reports a failed connection as text only; these are the server's refusals of who we
// are, which waiting will not change.
bool isRefusal(const std::string& message) {
    static const char* const kRefusals[] = {"authentication failed", "no pg_hba.conf entry",
                                            "no password supplied", "does not exist",
                                            "permission denied"};
    for (const char* refusal : kRefusals)
        if (message.find(refusal) != std::string::npos)
            return true;
    return false;
}

bool urlSetsTimeout(const std::string& url) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(url.c_str(), &error);
    PQfreemem(error);
    bool found = false;
    for (PQconninfoOption* option = options; option && option->keyword; ++option)
        if (std::strcmp(option->keyword, "connect_timeout") == 0 && option->val)
            found = true;
    PQconninfoFree(options);
    return found;
}

} // namespace

struct PgConnection::Impl {
    PGconn* conn = nullptr;
    ~Impl() { PQfinish(conn); }
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

DbStatus PgConnection::connect(const std::string& url) {
    close();
    char* error = nullptr;
    PQconninfoOption* parsed = PQconninfoParse(url.c_str(), &error);
    if (!parsed) {
        DbStatus status{DbProblem::BadUrl, firstLine(error ? error : "the URL cannot be read"), ""};
        PQfreemem(error);
        return status;
    }
    PQconninfoFree(parsed);
    // Keywords before dbname are defaults: the URL, expanded from dbname, overrides them.
    const bool ownTimeout = urlSetsTimeout(url);
    const char* keys[] = {"client_encoding", ownTimeout ? "dbname" : "connect_timeout",
                          ownTimeout ? nullptr : "dbname", nullptr};
    const char* values[] = {"UTF8", ownTimeout ? url.c_str() : "5",
                            ownTimeout ? nullptr : url.c_str(), nullptr};
    impl_->conn = PQconnectdbParams(keys, values, 1);
    if (PQstatus(impl_->conn) == CONNECTION_OK) {
        // The server's notices ("already exists, skipping") are not the program's output.
        PQsetNoticeProcessor(
            impl_->conn, [](void*, const char*) {}, nullptr);
        return {};
    }
    const std::string message = firstLine(PQerrorMessage(impl_->conn));
    close();
    return {isRefusal(message) ? DbProblem::LoginRefused : DbProblem::Away, message, ""};
}

DbStatus PgConnection::exec(const std::string& sql, const std::vector<SqlParam>& params,
                            PgResult* result) {
    if (!impl_->conn)
        return {DbProblem::Away, "not connected", ""};
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const SqlParam& param : params)
        values.push_back(param ? param->c_str() : nullptr);
    PGresult* answer = PQexecParams(impl_->conn, sql.c_str(), static_cast<int>(values.size()),
                                    nullptr, values.data(), nullptr, nullptr, 0);
    const ExecStatusType state = answer ? PQresultStatus(answer) : PGRES_FATAL_ERROR;
    if (state == PGRES_COMMAND_OK || state == PGRES_TUPLES_OK) {
        if (result)
            std::swap(result->impl->result, answer);
        PQclear(answer);
        return {};
    }
    DbStatus status;
    const char* code = answer ? PQresultErrorField(answer, PG_DIAG_SQLSTATE) : nullptr;
    status.sqlstate = code ? code : "";
    const char* primary = answer ? PQresultErrorField(answer, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    status.message = firstLine(primary ? primary : PQerrorMessage(impl_->conn));
    PQclear(answer);
    if (PQstatus(impl_->conn) != CONNECTION_OK)
        status.problem = DbProblem::Away;
    else if (status.sqlstate.rfind("28", 0) == 0)
        status.problem = DbProblem::LoginRefused;
    else
        status.problem = DbProblem::Statement;
    return status;
}

void PgConnection::rollback() {
    if (connected() && PQtransactionStatus(impl_->conn) != PQTRANS_IDLE)
        exec("ROLLBACK");
}

std::string urlWithoutPassword(const std::string& url) {
    std::string shown = url;
    const std::size_t scheme = shown.find("://");
    const std::size_t authorityStart = scheme == std::string::npos ? 0 : scheme + 3;
    const std::size_t at = shown.find('@', authorityStart);
    const std::size_t slash = shown.find_first_of("/?", authorityStart);
    if (at != std::string::npos && (slash == std::string::npos || at < slash)) {
        const std::size_t colon = shown.find(':', authorityStart);
        if (colon != std::string::npos && colon < at)
            shown.replace(colon + 1, at - colon - 1, "***");
    }
    for (std::size_t key = shown.find("password="); key != std::string::npos;
         key = shown.find("password=", key + 1)) {
        const std::size_t start = key + 9;
        const std::size_t end = shown.find('&', start);
        shown.replace(start, (end == std::string::npos ? shown.size() : end) - start, "***");
    }
    return shown;
}

} // namespace pxr7
