// How an upgrade ends. The core reports one outcome per confirmed start; each front end turns
// it into what its user sees (a message box, an exit code and a diagnosis) in one table.
#pragma once

#include <cstdint>
#include <string>

namespace pxr7 {

enum class UpgradeResult {
    Completed,        // the meter took every record
    Cancelled,        // the user did not confirm
    NoDriver,         // the D2XX library is not loaded
    ImageNotChosen,   // nothing to send was chosen (a guard: the warning always chooses)
    ImageNotFound,    // the image could not be located
    ImageEmpty,       // the image has no bytes
    ImageCannotLoad,  // the image could not be loaded
    ImageCannotLock,  // the image could not be locked
    ImageAltered,     // the image is not the one the program was built with
    OutOfMemory,      // no memory for the upgrade's copy of the image, or no port
    PortError,        // the bridge could not be opened or configured, or the meter's is gone
    NotAMeterLead,    // the bridge to upgrade is not a meter lead: left alone
    LeadReprogrammed, // a lead's EEPROM was corrected; it is re-enumerating
    LeadSetupFailed,  // the lead's settings could not be written
    HandshakeFailed,  // the meter did not answer in time, or the bridge failed
};

// Where a transfer stopped.
enum class TransferPhase {
    Handshake, // waiting for the meter's "}"
    Records,   // sending records as the meter asks for them
};

enum class TransferFault {
    None,
    NoReply,     // the poll limit ran out without the byte the meter owed
    ReadFailed,  // the poll limit ran out while the bridge's reads were failing (lead pulled?)
    BrokenRead,  // the driver reported an impossible read count: the bridge is lost
    WriteFailed, // the "{" or a record could not be written whole
};

struct UpgradeOutcome {
    UpgradeResult result = UpgradeResult::Cancelled;
    // For HandshakeFailed: the phase, the cause, and the record the transfer had reached (the
    // next one to send) out of recordCount.
    TransferPhase phase = TransferPhase::Handshake;
    TransferFault fault = TransferFault::None;
    std::int32_t nextRecord = 0;
    std::int32_t recordCount = 0;
    // The serial number of the bridge the upgrade went through, once it was opened.
    std::string serialNumber;
};

} // namespace pxr7
