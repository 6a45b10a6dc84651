// A few connections to one database, shared by the requests of several threads: each request
// takes one for as long as it needs it (a page's statements, or an export's whole cursor) and
// gives it back by letting its lease go. A request that finds none free waits a bounded time,
// so a database that holds every connection (a lock, a slow statement) makes requests fail
// fast instead of queueing without end. The pool only lends; connecting is the borrower's.
#pragma once

#include "pg_connection.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace pxr7 {

class PgPool : public std::enable_shared_from_this<PgPool> {
public:
    // At most most connections; take() waits up to wait for one.
    static std::shared_ptr<PgPool> make(std::size_t most, std::chrono::milliseconds wait);

    // A connection lent out: given back when the lease is destroyed or moved over, after a
    // transaction left open (an export dropped part-way) is rolled back. The pool outlives it.
    class Lease {
    public:
        Lease() = default;
        Lease(Lease&&) noexcept = default;
        Lease& operator=(Lease&& other) noexcept;
        ~Lease();
        explicit operator bool() const { return db_ != nullptr; }
        PgConnection& db() { return *db_; }

    private:
        friend class PgPool;
        void giveBack();
        std::shared_ptr<PgPool> pool_;
        std::unique_ptr<PgConnection> db_;
    };

    // A connection, connected or not (a new one, or one whose link broke): false when none
    // came free within the wait.
    bool take(Lease& lease);
    // Connections lent out now.
    std::size_t lent() const;
    // Closes the connections not lent out: one found the server gone, so the others' links
    // are likely broken too, and the next borrowers connect again at once.
    void closeIdle();

private:
    PgPool(std::size_t most, std::chrono::milliseconds wait) : most_(most), wait_(wait) {}
    void giveBack(std::unique_ptr<PgConnection> db);

    const std::size_t most_;
    const std::chrono::milliseconds wait_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    std::vector<std::unique_ptr<PgConnection>> idle_;
    std::size_t lent_ = 0;
};

} // namespace pxr7
