// The open bridges of the libftdi backend, one session per FT_Open, each reached only through
// an opaque token handed out as the FT_HANDLE. A token is never dereferenced and never
// reused, so a stale or invented handle can never reach a bridge.
//
// Opening a bridge only opens its USB device: its identity and EEPROM are read with control
// transfers, and the kernel's serial driver (ftdi_sio) keeps the bridge meanwhile. The first
// call on the serial side (line settings, DTR, purges, reads, writes, an EEPROM write, a port
// cycle) takes the interface over, detaching ftdi_sio if it holds it; closing hands the
// interface back and re-attaches ftdi_sio where it was detached.
#pragma once

#include "d2xx_types.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

struct ftdi_context;

namespace pxr7::libftdi {

// FTDI's header defaults; FT_Open starts every session with them.
constexpr std::uint32_t kDefaultTimeoutMs = 300;

struct Session {
    ftdi_context* ftdi = nullptr; // its USB device open; freed with the session
    int index = -1;               // the FT_Open device number
    std::uint8_t bus = 0, address = 0;
    bool claimed = false;  // the interface is ours: the serial side may be used
    bool detached = false; // ftdi_sio was detached for the claim and goes back at close
    std::uint32_t readTimeoutMs = kDefaultTimeoutMs;
    std::uint32_t writeTimeoutMs = kDefaultTimeoutMs;
    bool reenumerated = false; // the bridge came back as a new device: only FT_Close works
    bool eepromWritten = false;
    std::mutex lock; // one call at a time on a handle

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session(); // hands the interface back, closes and frees the libftdi context
};

// Whether a session of this program has the device at bus and address open.
bool deviceInSession(std::uint8_t bus, std::uint8_t address);

// Takes the session and returns its new token.
FT_HANDLE addSession(std::unique_ptr<Session> session);
// The session behind handle, or null for null, closed and unknown handles. Holding the
// returned pointer keeps the session alive through a concurrent FT_Close.
std::shared_ptr<Session> findSession(FT_HANDLE handle);
// Removes the session from the table; it is freed when its last user lets go.
std::shared_ptr<Session> removeSession(FT_HANDLE handle);

// One call's use of a handle: finds the session and holds its lock for the call. status()
// says whether the call may go on: FT_INVALID_HANDLE for a handle we never gave out or that
// was closed, FT_IO_ERROR for one whose bridge re-enumerated.
class SessionUse {
public:
    explicit SessionUse(FT_HANDLE handle);
    FT_STATUS status() const;
    // status(), then for the serial side: takes the interface over on first use.
    FT_STATUS serialStatus();
    Session& session() { return *session_; }
    ftdi_context* ftdi() { return session_->ftdi; }

private:
    std::shared_ptr<Session> session_;
    std::unique_lock<std::mutex> lock_;
};

} // namespace pxr7::libftdi
