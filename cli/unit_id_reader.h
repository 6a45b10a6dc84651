// The operator's unit ids from standard input, on a thread of its own. On a terminal keys are
// read one by one without echo: Backspace edits, Enter submits, and the text being typed is
// handed on to be shown. Otherwise (a pipe, a file) each line is one id. A barcode scanner types
// like a keyboard, ending in Enter.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace pxr7 {

// The line being typed, key by key.
class KeyLine {
public:
    explicit KeyLine(bool keys) : keys_(keys) {}
    // Takes one byte; returns the line when it completes one.
    std::optional<std::string> feed(char c);
    const std::string& text() const { return text_; }

private:
    bool keys_;
    std::string text_;
    bool afterReturn_ = false; // a '\n' right after a '\r' ends no second line
};

// The key that takes lanes back into service (Ctrl+R): never part of an id.
constexpr char kTakeBackKey = '\x12';

class UnitIdReader {
public:
    using Handler = std::function<void(const std::string&)>;

    // submit gets each id; typing the text typed so far (keys only); takeBack, if set, each
    // Ctrl+R.
    UnitIdReader(Handler submit, Handler typing, std::function<void()> takeBack = nullptr);
    ~UnitIdReader() { stop(); }
    UnitIdReader(const UnitIdReader&) = delete;
    UnitIdReader& operator=(const UnitIdReader&) = delete;

    void start();
    // No handler is called once stop returns, and the terminal is as it was.
    void stop();

private:
    struct Shared {
        std::mutex mutex;
        bool stopped = false;
        std::atomic<bool> stopping{false};
        Handler submit, typing;
        std::function<void()> takeBack;
    };
    static void read(const std::shared_ptr<Shared>& shared, bool keys);

    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::thread thread_;
};

} // namespace pxr7
