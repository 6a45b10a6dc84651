#include "unit_ledger.h"

#include "exit_codes.h"

#include <algorithm>
#include <vector>

namespace pxr7 {

namespace {

std::mutex& registryLock() {
    static std::mutex lock;
    return lock;
}

std::vector<UnitLedger*>& registry() {
    static std::vector<UnitLedger*> ledgers;
    return ledgers;
}

} // namespace

UnitLedger::UnitLedger(std::string recordPath, const char* command, std::string benchName)
    : recordPath_(std::move(recordPath)), command_(command), benchName_(std::move(benchName)) {
    std::lock_guard<std::mutex> lock(registryLock());
    registry().push_back(this);
}

UnitLedger::~UnitLedger() {
    std::lock_guard<std::mutex> lock(registryLock());
    auto& ledgers = registry();
    ledgers.erase(std::remove(ledgers.begin(), ledgers.end(), this), ledgers.end());
}

int UnitLedger::open(const MeterRun& run, const std::optional<std::uint32_t>& location) {
    OpenUnit unit;
    unit.entry.command = command_;
    unit.entry.started = utcNow();
    unit.entry.leadLocation = location ? locationText(*location) : "";
    unit.entry.operatorName = operator_ != nullptr ? operator_->get() : "";
    unit.run = run;
    std::lock_guard<std::mutex> lock(mutex_);
    const int ticket = nextTicket_++;
    open_[ticket] = unit;
    return ticket;
}

void UnitLedger::progress(int ticket, std::int32_t sent, std::int32_t total) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = open_.find(ticket);
    if (it != open_.end()) {
        it->second.run.attempts = std::max(it->second.run.attempts, 1);
        it->second.run.recordsSent = sent;
        it->second.run.recordsTotal = total;
    }
}

bool UnitLedger::close(int ticket, const MeterRun& run, std::string& problem) {
    RecordEntry entry;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = open_.find(ticket);
        if (it == open_.end()) {
            problem.clear();
            return true; // written already, by a stop
        }
        entry = it->second.entry;
        open_.erase(it);
    }
    return write(entry, run, problem);
}

bool UnitLedger::recordUnserved(const MeterRun& run, std::string& problem) {
    RecordEntry opened = recordEntryFor(run, command_);
    opened.operatorName = operator_ != nullptr ? operator_->get() : "";
    return write(opened, run, problem);
}

void UnitLedger::closeAll(Outcome stop) {
    std::map<int, OpenUnit> open;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        open.swap(open_);
    }
    for (auto& [ticket, unit] : open) {
        unit.run.endWith(stop);
        unit.run.attempts = std::max(unit.run.attempts, 1);
        std::string problem;
        write(unit.entry, unit.run, problem);
    }
}

bool UnitLedger::write(const RecordEntry& opened, const MeterRun& run, std::string& problem) {
    // What the run knows, with when it began and where its lead sits as the ledger has them.
    RecordEntry entry = recordEntryFor(run, command_);
    entry.started = opened.started;
    entry.leadLocation = opened.leadLocation;
    entry.bench = benchName_;
    entry.operatorName = opened.operatorName;
    if (appendRecordEntry(recordPath_, entry, problem)) {
        return true;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    problem_ = problem;
    return false;
}

bool UnitLedger::failing() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !problem_.empty();
}

std::string UnitLedger::lastProblem() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return problem_;
}

void recordOpenUnits(Outcome stop) {
    std::lock_guard<std::mutex> lock(registryLock());
    for (UnitLedger* ledger : registry()) {
        ledger->closeAll(stop);
    }
}

} // namespace pxr7
