#include "pg_pool.h"

namespace pxr7 {

std::shared_ptr<PgPool> PgPool::make(std::size_t most, std::chrono::milliseconds wait) {
    return std::shared_ptr<PgPool>(new PgPool(most, wait));
}

bool PgPool::take(Lease& lease) {
    lease = Lease();
    std::unique_lock<std::mutex> lock(mutex_);
    if (!freed_.wait_for(lock, wait_, [&] { return !idle_.empty() || lent_ < most_; })) {
        return false;
    }
    ++lent_;
    if (idle_.empty()) {
        lease.db_ = std::make_unique<PgConnection>();
    } else {
        lease.db_ = std::move(idle_.back());
        idle_.pop_back();
    }
    lease.pool_ = shared_from_this();
    return true;
}

std::size_t PgPool::lent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lent_;
}

void PgPool::closeIdle() {
    std::vector<std::unique_ptr<PgConnection>> closing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing.swap(idle_);
    }
}

void PgPool::giveBack(std::unique_ptr<PgConnection> db) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --lent_;
        if (db->connected()) {
            idle_.push_back(std::move(db));
        }
    }
    freed_.notify_one();
}

void PgPool::Lease::giveBack() {
    if (db_) {
        db_->rollback();
        pool_->giveBack(std::move(db_));
        pool_.reset();
    }
}

PgPool::Lease& PgPool::Lease::operator=(Lease&& other) noexcept {
    if (this != &other) {
        giveBack();
        pool_ = std::move(other.pool_);
        db_ = std::move(other.db_);
    }
    return *this;
}

PgPool::Lease::~Lease() {
    giveBack();
}

} // namespace pxr7
