// The one list of the D2XX entry points the system uses: Windows ordinal, name, parameters
// and the argument names to forward them, in two parts: the entries every usable library has,
// and the optional ones a library may lack and still be used. The binding table, the
// simulator's exports and its .def file are all derived from these lists; nothing else spells
// the names.
#pragma once

#include "d2xx_types.h"

// X(ordinal, name, (parameter list), (argument list))
#define D2XX_ENTRY_POINTS(X)                                                                       \
    X(1, FT_Open, (int deviceNumber, FT_HANDLE* handle), (deviceNumber, handle))                   \
    X(2, FT_Close, (FT_HANDLE handle), (handle))                                                   \
    X(3, FT_Read,                                                                                  \
      (FT_HANDLE handle, void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesReturned),   \
      (handle, buffer, bytesToRead, bytesReturned))                                                \
    X(4, FT_Write,                                                                                 \
      (FT_HANDLE handle, void* buffer, std::uint32_t bytesToWrite, std::uint32_t* bytesWritten),   \
      (handle, buffer, bytesToWrite, bytesWritten))                                                \
    X(7, FT_SetBaudRate, (FT_HANDLE handle, std::uint32_t baudRate), (handle, baudRate))           \
    X(8, FT_SetDataCharacteristics,                                                                \
      (FT_HANDLE handle, std::uint8_t wordLength, std::uint8_t stopBits, std::uint8_t parity),     \
      (handle, wordLength, stopBits, parity))                                                      \
    X(9, FT_SetFlowControl,                                                                        \
      (FT_HANDLE handle, std::uint16_t flowControl, std::uint8_t xonChar, std::uint8_t xoffChar),  \
      (handle, flowControl, xonChar, xoffChar))                                                    \
    X(10, FT_SetDtr, (FT_HANDLE handle), (handle))                                                 \
    X(11, FT_ClrDtr, (FT_HANDLE handle), (handle))                                                 \
    X(16, FT_Purge, (FT_HANDLE handle, std::uint32_t mask), (handle, mask))                        \
    X(17, FT_SetTimeouts,                                                                          \
      (FT_HANDLE handle, std::uint32_t readTimeoutMs, std::uint32_t writeTimeoutMs),               \
      (handle, readTimeoutMs, writeTimeoutMs))                                                     \
    X(28, FT_ListDevices, (void* arg1, void* arg2, std::uint32_t flags), (arg1, arg2, flags))      \
    X(37, FT_EE_Program, (FT_HANDLE handle, FT_PROGRAM_DATA * data), (handle, data))               \
    X(38, FT_EE_Read, (FT_HANDLE handle, FT_PROGRAM_DATA * data), (handle, data))                  \
    X(61, FT_GetDeviceInfo,                                                                        \
      (FT_HANDLE handle, FT_DEVICE * type, std::uint32_t * id, char* serialNumber,                 \
       char* description, void* reserved),                                                         \
      (handle, type, id, serialNumber, description, reserved))                                     \
    X(69, FT_CyclePort, (FT_HANDLE handle), (handle))

// Same form: entries a library may lack and still be used. The system uses each only when
// it is bound: a shorter latency timer for faster replies, and the USB location of a bridge
// (the device information list, then one entry of it) to tell apart leads whose serial
// numbers do not.
#define D2XX_OPTIONAL_ENTRY_POINTS(X)                                                              \
    X(29, FT_SetLatencyTimer, (FT_HANDLE handle, std::uint8_t timerMs), (handle, timerMs))         \
    X(70, FT_CreateDeviceInfoList, (std::uint32_t * count), (count))                               \
    X(72, FT_GetDeviceInfoDetail,                                                                  \
      (std::uint32_t index, std::uint32_t * flags, std::uint32_t * type, std::uint32_t * id,       \
       std::uint32_t * locationId, void* serialNumber, void* description, FT_HANDLE* handle),      \
      (index, flags, type, id, locationId, serialNumber, description, handle))

// Both lists, for what treats every entry alike (exports, forwarding tables).
#define D2XX_ALL_ENTRY_POINTS(X) D2XX_ENTRY_POINTS(X) D2XX_OPTIONAL_ENTRY_POINTS(X)

namespace pxr7::ftd2xx {

// The bound entry points, one function pointer per entry of the lists. An optional entry
// the library lacks stays null; null by default, so a table written out for the required
// entries alone is still complete.
struct D2xxTable {
#define D2XX_TABLE_MEMBER(ordinal, name, params, args) FT_STATUS(D2XX_API* name) params;
    D2XX_ENTRY_POINTS(D2XX_TABLE_MEMBER)
#undef D2XX_TABLE_MEMBER
#define D2XX_OPTIONAL_TABLE_MEMBER(ordinal, name, params, args)                                    \
    FT_STATUS(D2XX_API* name) params = nullptr;
    D2XX_OPTIONAL_ENTRY_POINTS(D2XX_OPTIONAL_TABLE_MEMBER)
#undef D2XX_OPTIONAL_TABLE_MEMBER
};

constexpr int kD2xxEntryCount = 0
#define D2XX_COUNT_ENTRY(ordinal, name, params, args) +1
    D2XX_ENTRY_POINTS(D2XX_COUNT_ENTRY)
#undef D2XX_COUNT_ENTRY
    ;
static_assert(kD2xxEntryCount == 16, "the system binds exactly sixteen D2XX entry points");

constexpr int kD2xxOptionalEntryCount = 0
#define D2XX_COUNT_ENTRY(ordinal, name, params, args) +1
    D2XX_OPTIONAL_ENTRY_POINTS(D2XX_COUNT_ENTRY)
#undef D2XX_COUNT_ENTRY
    ;
static_assert(kD2xxOptionalEntryCount == 3,
              "the system knows exactly three optional D2XX entry points");

} // namespace pxr7::ftd2xx
