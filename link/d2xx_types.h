// Our own declarations of the FTDI D2XX types and constants we use, written from the
// published API. Widths are fixed: DWORD, ULONG and FT_STATUS are 32-bit on every platform
// (unsigned long would be 64-bit on 64-bit Linux).
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define D2XX_API __stdcall
#else
#define D2XX_API
#endif

// Kept apart from FTDI's own header, which declares the same names globally: a vendor build
// may include both.
namespace pxr7::ftd2xx {

using FT_STATUS = std::uint32_t;
using FT_HANDLE = void*;
using FT_DEVICE = std::uint32_t;

constexpr FT_STATUS FT_OK = 0;
constexpr FT_STATUS FT_INVALID_HANDLE = 1;
constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
constexpr FT_STATUS FT_IO_ERROR = 4;
constexpr FT_STATUS FT_INSUFFICIENT_RESOURCES = 5;
constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
constexpr FT_STATUS FT_INVALID_BAUD_RATE = 7;
constexpr FT_STATUS FT_EEPROM_READ_FAILED = 11;
constexpr FT_STATUS FT_EEPROM_WRITE_FAILED = 12;
constexpr FT_STATUS FT_INVALID_ARGS = 16;
constexpr FT_STATUS FT_NOT_SUPPORTED = 17;
constexpr FT_STATUS FT_OTHER_ERROR = 18;

constexpr std::uint8_t FT_BITS_8 = 8;
constexpr std::uint8_t FT_BITS_7 = 7;
constexpr std::uint8_t FT_STOP_BITS_1 = 0;
constexpr std::uint8_t FT_STOP_BITS_2 = 2;
constexpr std::uint8_t FT_PARITY_NONE = 0;
constexpr std::uint16_t FT_FLOW_NONE = 0x0000;
constexpr std::uint32_t FT_PURGE_RX = 1;
constexpr std::uint32_t FT_PURGE_TX = 2;
constexpr std::uint32_t FT_LIST_NUMBER_ONLY = 0x80000000u;
constexpr std::uint8_t FT_232R_CBUS_SLEEP = 0x05;
constexpr FT_DEVICE FT_DEVICE_232R = 5;

// FTDI's EEPROM record, all revision groups, in the published field order. Version 2 is the
// FT232R form; the fields of later versions are declared so the library never writes past
// the end of our record.
struct FT_PROGRAM_DATA {
    std::uint32_t Signature1;
    std::uint32_t Signature2;
    std::uint32_t Version;
    std::uint16_t VendorId;
    std::uint16_t ProductId;
    char* Manufacturer;
    char* ManufacturerId;
    char* Description;
    char* SerialNumber;
    std::uint16_t MaxPower;
    std::uint16_t PnP;
    std::uint16_t SelfPowered;
    std::uint16_t RemoteWakeup;
    // Rev4 (FT232B)
    std::uint8_t Rev4, IsoIn, IsoOut, PullDownEnable, SerNumEnable, USBVersionEnable;
    std::uint16_t USBVersion;
    // Rev5 (FT2232)
    std::uint8_t Rev5, IsoInA, IsoInB, IsoOutA, IsoOutB, PullDownEnable5, SerNumEnable5,
        USBVersionEnable5;
    std::uint16_t USBVersion5;
    std::uint8_t AIsHighCurrent, BIsHighCurrent, IFAIsFifo, IFAIsFifoTar, IFAIsFastSer, AIsVCP,
        IFBIsFifo, IFBIsFifoTar, IFBIsFastSer, BIsVCP;
    // Rev6 (FT232R): the version-2 fields
    std::uint8_t UseExtOsc, HighDriveIOs, EndpointSize, PullDownEnableR, SerNumEnableR;
    std::uint8_t InvertTXD, InvertRXD, InvertRTS, InvertCTS, InvertDTR, InvertDSR, InvertDCD,
        InvertRI;
    std::uint8_t Cbus0, Cbus1, Cbus2, Cbus3, Cbus4;
    std::uint8_t RIsD2XX;
    // Rev7 (FT2232H)
    std::uint8_t PullDownEnable7, SerNumEnable7, ALSlowSlew, ALSchmittInput, ALDriveCurrent,
        AHSlowSlew, AHSchmittInput, AHDriveCurrent, BLSlowSlew, BLSchmittInput, BLDriveCurrent,
        BHSlowSlew, BHSchmittInput, BHDriveCurrent, IFAIsFifo7, IFAIsFifoTar7, IFAIsFastSer7,
        AIsVCP7, IFBIsFifo7, IFBIsFifoTar7, IFBIsFastSer7, BIsVCP7, PowerSaveEnable;
    // Rev8 (FT4232H)
    std::uint8_t PullDownEnable8, SerNumEnable8, ASlowSlew, ASchmittInput, ADriveCurrent, BSlowSlew,
        BSchmittInput, BDriveCurrent, CSlowSlew, CSchmittInput, CDriveCurrent, DSlowSlew,
        DSchmittInput, DDriveCurrent, ARIIsTXDEN, BRIIsTXDEN, CRIIsTXDEN, DRIIsTXDEN, AIsVCP8,
        BIsVCP8, CIsVCP8, DIsVCP8;
    // Rev9 (FT232H)
    std::uint8_t PullDownEnableH, SerNumEnableH, ACSlowSlewH, ACSchmittInputH, ACDriveCurrentH,
        ADSlowSlewH, ADSchmittInputH, ADDriveCurrentH, Cbus0H, Cbus1H, Cbus2H, Cbus3H, Cbus4H,
        Cbus5H, Cbus6H, Cbus7H, Cbus8H, Cbus9H, IsFifoH, IsFifoTarH, IsFastSerH, IsFT1248H,
        FT1248CpolH, FT1248LsbH, FT1248FlowControlH, IsVCPH, PowerSaveEnableH;
};

static_assert(sizeof(void*) == 8 ? sizeof(FT_PROGRAM_DATA) == 176 : sizeof(FT_PROGRAM_DATA) == 160,
              "FT_PROGRAM_DATA must match FTDI's layout");

} // namespace pxr7::ftd2xx

namespace pxr7 {
// The rest of the program speaks D2XX's own names; inside pxr7 they can never meet a vendor
// header's global ones.
using namespace ftd2xx;
} // namespace pxr7
