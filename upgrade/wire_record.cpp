#include "firmware_image.h"

#include <cstring>

namespace pxr7 {

void buildWireRecord(const std::uint8_t* record, std::uint8_t (&wire)[kWireRecordSize]) {
    std::memcpy(wire, record, kFirmwareRecordSize);
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < kFirmwareRecordSize; ++i) {
        sum = static_cast<std::uint8_t>(sum + record[i]);
    }
    wire[kFirmwareRecordSize] = sum;
}

} // namespace pxr7
