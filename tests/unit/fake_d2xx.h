// An in-process, scripted D2XX library for unit tests: records every call in order and
// answers from a script, so tests see exactly what reaches the bridge.
#pragma once

#include "d2xx_entries.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace pxr7;

struct FakeRead {
    FT_STATUS status = FT_OK;
    std::vector<std::uint8_t> bytes;
    // When set, the count reported instead of bytes.size() (a misbehaving driver).
    bool overrideCount = false;
    std::uint32_t count = 0;
};

struct FakeD2xx {
    // Every call, in order, e.g. "FT_Open(0)", "FT_SetBaudRate(115200)", "FT_Write(516)".
    std::vector<std::string> calls;
    // Every buffer written, in order.
    std::vector<std::vector<std::uint8_t>> writes;
    // Status answered per function name; absent means FT_OK.
    std::map<std::string, FT_STATUS> status;
    // Answers to reads, in order; when empty a read times out with nothing.
    std::deque<FakeRead> reads;
    // Optional hooks that take over reads and writes (a scripted meter).
    std::function<FakeRead(std::uint32_t wanted)> onRead;
    std::function<void(const std::uint8_t* data, std::uint32_t length)> onWrite;

    std::uint32_t deviceCount = 1;
    // The EEPROM as the bridge holds it, served by FT_EE_Read and stored by FT_EE_Program.
    FT_PROGRAM_DATA eeprom{};
    std::string manufacturer = "FTDI";
    std::string manufacturerId = "FT";
    std::string description = "Tavelin QVRX";
    std::string serialNumber = "PX7A0001";
    // What FT_EE_Program was given, for the last program call.
    FT_PROGRAM_DATA programmed{};
    std::string programmedDescription;
    int programCount = 0;

    // Fills eeprom with the settings the host requires.
    void setCorrectEeprom();
    std::string callList(const std::string& separator = " ") const;
};

// Resets the fake and serves it as the bridge library until the next call or uninstall.
FakeD2xx& installFakeD2xx();
void uninstallFakeD2xx();
FakeD2xx& fakeD2xx();

// The fake's handle value, for tests that look at a port's handle.
FT_HANDLE fakeHandle();
