#include "ftdi_sessions.h"

#include <ftdi.h>

namespace pxr7::libftdi {

namespace {

// Far from any address the allocator hands out, so a token is never mistaken for memory.
constexpr std::uintptr_t kFirstToken = 0x7D1F0010u;
constexpr std::uintptr_t kTokenStep = 0x10;

std::mutex g_tableLock;
std::uintptr_t g_nextToken = kFirstToken;
std::map<std::uintptr_t, std::shared_ptr<Session>> g_sessions;

} // namespace

Session::~Session() {
    if (ftdi != nullptr) {
        // Releases the interface, which hands it back to ftdi_sio (AUTO_DETACH_REATACH).
        ftdi_usb_close(ftdi);
        ftdi_free(ftdi);
    }
}

FT_HANDLE addSession(std::unique_ptr<Session> session) {
    std::lock_guard<std::mutex> guard(g_tableLock);
    const std::uintptr_t token = g_nextToken;
    g_nextToken += kTokenStep;
    g_sessions[token] = std::shared_ptr<Session>(std::move(session));
    return reinterpret_cast<FT_HANDLE>(token);
}

std::shared_ptr<Session> findSession(FT_HANDLE handle) {
    std::lock_guard<std::mutex> guard(g_tableLock);
    const auto found = g_sessions.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == g_sessions.end() ? nullptr : found->second;
}

std::shared_ptr<Session> removeSession(FT_HANDLE handle) {
    std::lock_guard<std::mutex> guard(g_tableLock);
    const auto found = g_sessions.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == g_sessions.end()) {
        return nullptr;
    }
    std::shared_ptr<Session> session = found->second;
    g_sessions.erase(found);
    return session;
}

SessionUse::SessionUse(FT_HANDLE handle) : session_(findSession(handle)) {
    if (session_ != nullptr) {
        lock_ = std::unique_lock<std::mutex>(session_->lock);
    }
}

FT_STATUS SessionUse::status() const {
    if (session_ == nullptr) {
        return FT_INVALID_HANDLE;
    }
    return session_->reenumerated ? FT_IO_ERROR : FT_OK;
}

} // namespace pxr7::libftdi
