#include "fake_d2xx.h"

#include "bridge_library.h"

#include <cstring>
#include <sstream>

using namespace pxr7;

namespace {

FakeD2xx* g_fake = nullptr;
int g_handleToken = 0;

FT_HANDLE handleValue() {
    return &g_handleToken;
}

FT_STATUS answer(const std::string& function, const std::string& call) {
    g_fake->calls.push_back(call);
    auto it = g_fake->status.find(function);
    return it == g_fake->status.end() ? FT_OK : it->second;
}

std::string withArgs(const char* name, std::initializer_list<long long> args) {
    std::ostringstream out;
    out << name << '(';
    bool first = true;
    for (long long arg : args) {
        out << (first ? "" : ",") << arg;
        first = false;
    }
    out << ')';
    return out.str();
}

void copyString(char* destination, std::size_t size, const std::string& source) {
    if (destination == nullptr) {
        return;
    }
    std::strncpy(destination, source.c_str(), size - 1);
    destination[size - 1] = '\0';
}

FT_STATUS D2XX_API fakeOpen(int deviceNumber, FT_HANDLE* handle) {
    FT_STATUS status = answer("FT_Open", withArgs("FT_Open", {deviceNumber}));
    *handle = status == FT_OK ? handleValue() : nullptr;
    return status;
}
FT_STATUS D2XX_API fakeClose(FT_HANDLE) {
    return answer("FT_Close", "FT_Close");
}
FT_STATUS D2XX_API fakeRead(FT_HANDLE, void* buffer, std::uint32_t wanted,
                            std::uint32_t* returned) {
    FT_STATUS status = answer("FT_Read", withArgs("FT_Read", {wanted}));
    FakeRead read;
    if (g_fake->onRead) {
        read = g_fake->onRead(wanted);
    } else if (!g_fake->reads.empty()) {
        read = g_fake->reads.front();
        g_fake->reads.pop_front();
    }
    const std::size_t copied = read.bytes.size() < wanted ? read.bytes.size() : wanted;
    if (copied > 0) {
        std::memcpy(buffer, read.bytes.data(), copied);
    }
    *returned = read.overrideCount ? read.count : static_cast<std::uint32_t>(copied);
    return status != FT_OK ? status : read.status;
}
FT_STATUS D2XX_API fakeWrite(FT_HANDLE, void* buffer, std::uint32_t length,
                             std::uint32_t* written) {
    FT_STATUS status = answer("FT_Write", withArgs("FT_Write", {length}));
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    g_fake->writes.emplace_back(bytes, bytes + length);
    if (g_fake->onWrite) {
        g_fake->onWrite(bytes, length);
    }
    *written = length;
    return status;
}
FT_STATUS D2XX_API fakeSetBaudRate(FT_HANDLE, std::uint32_t baud) {
    return answer("FT_SetBaudRate", withArgs("FT_SetBaudRate", {baud}));
}
FT_STATUS D2XX_API fakeSetDataCharacteristics(FT_HANDLE, std::uint8_t bits, std::uint8_t stop,
                                              std::uint8_t parity) {
    return answer("FT_SetDataCharacteristics",
                  withArgs("FT_SetDataCharacteristics", {bits, stop, parity}));
}
FT_STATUS D2XX_API fakeSetFlowControl(FT_HANDLE, std::uint16_t mode, std::uint8_t xon,
                                      std::uint8_t xoff) {
    return answer("FT_SetFlowControl", withArgs("FT_SetFlowControl", {mode, xon, xoff}));
}
FT_STATUS D2XX_API fakeSetDtr(FT_HANDLE) {
    return answer("FT_SetDtr", "FT_SetDtr");
}
FT_STATUS D2XX_API fakeClrDtr(FT_HANDLE) {
    return answer("FT_ClrDtr", "FT_ClrDtr");
}
FT_STATUS D2XX_API fakePurge(FT_HANDLE, std::uint32_t mask) {
    return answer("FT_Purge", withArgs("FT_Purge", {mask}));
}
FT_STATUS D2XX_API fakeSetTimeouts(FT_HANDLE, std::uint32_t readMs, std::uint32_t writeMs) {
    return answer("FT_SetTimeouts", withArgs("FT_SetTimeouts", {readMs, writeMs}));
}
FT_STATUS D2XX_API fakeListDevices(void* count, void*, std::uint32_t flags) {
    FT_STATUS status = answer("FT_ListDevices", withArgs("FT_ListDevices", {flags}));
    if (status == FT_OK) {
        *static_cast<std::uint32_t*>(count) = g_fake->deviceCount;
    }
    return status;
}
FT_STATUS D2XX_API fakeEeProgram(FT_HANDLE, FT_PROGRAM_DATA* data) {
    FT_STATUS status = answer("FT_EE_Program", "FT_EE_Program");
    g_fake->programmed = *data;
    g_fake->programmedDescription = data->Description != nullptr ? data->Description : "";
    ++g_fake->programCount;
    return status;
}
FT_STATUS D2XX_API fakeEeRead(FT_HANDLE, FT_PROGRAM_DATA* data) {
    FT_STATUS status = answer("FT_EE_Read", "FT_EE_Read");
    if (status != FT_OK) {
        return status;
    }
    char* manufacturer = data->Manufacturer;
    char* manufacturerId = data->ManufacturerId;
    char* description = data->Description;
    char* serialNumber = data->SerialNumber;
    const std::uint32_t version = data->Version;
    *data = g_fake->eeprom;
    data->Signature1 = 0;
    data->Signature2 = 0xFFFFFFFF;
    data->Version = version;
    data->Manufacturer = manufacturer;
    data->ManufacturerId = manufacturerId;
    data->Description = description;
    data->SerialNumber = serialNumber;
    copyString(manufacturer, 32, g_fake->manufacturer);
    copyString(manufacturerId, 16, g_fake->manufacturerId);
    copyString(description, 64, g_fake->description);
    copyString(serialNumber, 16, g_fake->serialNumber);
    return FT_OK;
}
// Reports the bridge as it enumerated: its EEPROM's description and serial number.
FT_STATUS D2XX_API fakeGetDeviceInfo(FT_HANDLE, FT_DEVICE* type, std::uint32_t* id, char* serial,
                                     char* description, void*) {
    *type = FT_DEVICE_232R;
    *id = 0x04036001;
    copyString(serial, 16, g_fake->serialNumber);
    copyString(description, 64, g_fake->description);
    return answer("FT_GetDeviceInfo", "FT_GetDeviceInfo");
}
FT_STATUS D2XX_API fakeCyclePort(FT_HANDLE) {
    return answer("FT_CyclePort", "FT_CyclePort");
}

const D2xxTable kFakeTable = {
    fakeOpen,           fakeClose,       fakeRead,
    fakeWrite,          fakeSetBaudRate, fakeSetDataCharacteristics,
    fakeSetFlowControl, fakeSetDtr,      fakeClrDtr,
    fakePurge,          fakeSetTimeouts, fakeListDevices,
    fakeEeProgram,      fakeEeRead,      fakeGetDeviceInfo,
    fakeCyclePort,
};

} // namespace

void FakeD2xx::setCorrectEeprom() {
    eeprom = FT_PROGRAM_DATA{};
    eeprom.VendorId = 0x0403;
    eeprom.ProductId = 0x6001;
    eeprom.MaxPower = 90;
    eeprom.InvertDTR = 1;
    eeprom.Cbus4 = FT_232R_CBUS_SLEEP;
    description = "Tavelin QVRX";
}

std::string FakeD2xx::callList(const std::string& separator) const {
    std::string joined;
    for (const std::string& call : calls) {
        joined += (joined.empty() ? "" : separator) + call;
    }
    return joined;
}

FakeD2xx& installFakeD2xx() {
    delete g_fake;
    g_fake = new FakeD2xx();
    g_fake->setCorrectEeprom();
    installBridgeTable(&kFakeTable);
    return *g_fake;
}

void uninstallFakeD2xx() {
    installBridgeTable(nullptr);
    delete g_fake;
    g_fake = nullptr;
}

FakeD2xx& fakeD2xx() {
    return *g_fake;
}

FT_HANDLE fakeHandle() {
    return handleValue();
}
