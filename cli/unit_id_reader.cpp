#include "unit_id_reader.h"

#include "key_input.h"

namespace pxr7 {

namespace {

// Far beyond any id: a stuck key or a stream without line breaks cannot grow it for ever.
constexpr std::size_t kLongestLine = 256;
constexpr int kWaitMs = 100;

} // namespace

std::optional<std::string> KeyLine::feed(char c) {
    const bool afterReturn = afterReturn_;
    afterReturn_ = c == '\r' && keys_;
    if (c == '\n' || (c == '\r' && keys_)) {
        if (c == '\n' && afterReturn) {
            return std::nullopt;
        }
        std::string line;
        line.swap(text_);
        if (!keys_ && !line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return line;
    }
    if (keys_ && (c == '\b' || c == '\x7f')) {
        if (!text_.empty()) {
            text_.pop_back();
        }
    } else if (text_.size() < kLongestLine) {
        text_.push_back(c);
    }
    return std::nullopt;
}

UnitIdReader::UnitIdReader(Handler submit, Handler typing, std::function<void()> takeBack) {
    shared_->submit = std::move(submit);
    shared_->typing = std::move(typing);
    shared_->takeBack = std::move(takeBack);
}

void UnitIdReader::start() {
    const bool keys = startKeyInput();
    if (keys) {
        shared_->typing("");
    }
    thread_ = std::thread(read, shared_, keys);
}

void UnitIdReader::stop() {
    if (thread_.joinable()) {
        shared_->stopping = true;
        {
            std::lock_guard<std::mutex> lock(shared_->mutex);
            shared_->stopped = true;
        }
        if (inputReadsReturnInTime()) {
            thread_.join();
        } else {
            thread_.detach(); // blocked in a read; it holds its own share of the state
        }
    }
    restoreKeyInput();
}

void UnitIdReader::read(const std::shared_ptr<Shared>& shared, bool keys) {
    KeyLine line(keys);
    std::string bytes;
    InputRead got = InputRead::Nothing;
    while (!shared->stopping && (got = readInput(bytes, kWaitMs)) != InputRead::End) {
        for (const char c : bytes) {
            const std::optional<std::string> id = c == kTakeBackKey ? std::nullopt : line.feed(c);
            std::lock_guard<std::mutex> lock(shared->mutex);
            if (shared->stopped) {
                return;
            }
            if (c == kTakeBackKey && shared->takeBack) {
                shared->takeBack();
            }
            if (id) {
                shared->submit(*id);
            }
            if (keys) {
                shared->typing(line.text());
            }
        }
    }
    // The last line of a file may lack its line break.
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (got == InputRead::End && !line.text().empty() && !shared->stopped) {
        shared->submit(line.feed('\n').value_or(""));
    }
}

} // namespace pxr7
