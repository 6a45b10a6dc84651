#include "diagnosis.h"

#include "bridge_identity.h"
#include "bridge_library.h"
#include "ftdi_sio_binding.h"
#include "upgrade.h"

#include <string>
#include <vector>

namespace pxr7 {

namespace {

const char* kBootLoader =
    "The meter is waiting in its boot loader without working firmware: run upgrade again.";
const char* kReconnect = "Reconnect the lead";

// The transfer's waits as the person reads them, from its own constants.
std::string millisecondsText(std::chrono::milliseconds wait) {
    return std::to_string(wait.count()) + " ms";
}

std::string recordsText(const UpgradeOutcome& outcome) {
    return std::to_string(outcome.nextRecord) + " of " + std::to_string(outcome.recordCount) +
           " records";
}

std::string diagnoseTransfer(const UpgradeOutcome& outcome) {
    const bool handshake = outcome.phase == TransferPhase::Handshake;
    std::string line = "pxr7: ";
    switch (outcome.fault) {
    case TransferFault::NoReply:
        if (handshake) {
            return line + "the meter did not answer the reset pulse (no \"}\" within " +
                   millisecondsText(kHandshakeWait) +
                   "). "
                   "Check that the meter is on the lead and charged, then run upgrade "
                   "again.";
        }
        return line + "the meter stopped asking for records after " + recordsText(outcome) +
               " (no request within " + millisecondsText(kRecordWait) +
               "). Charge the meter if its battery is low. " + kBootLoader;
    case TransferFault::ReadFailed:
    case TransferFault::BrokenRead:
        line += "the bridge stopped answering reads (I/O error: was the lead pulled?) ";
        line += handshake ? "while waiting for the meter's handshake. "
                          : "after " + recordsText(outcome) + ". ";
        return line + kReconnect + (handshake ? " and run upgrade again." : ". ") +
               (handshake ? "" : kBootLoader);
    case TransferFault::WriteFailed:
        line += handshake ? std::string("the answer to the meter's handshake")
                          : "record " + std::to_string(outcome.nextRecord + 1) + " of " +
                                std::to_string(outcome.recordCount);
        return line + " could not be written whole to the bridge (I/O error or short write). " +
               kReconnect + ". " + kBootLoader;
    case TransferFault::None:
        break;
    }
    return line + "the transfer failed.";
}

} // namespace

std::string diagnose(const UpgradeOutcome& outcome) {
    switch (outcome.result) {
    case UpgradeResult::HandshakeFailed:
        return diagnoseTransfer(outcome);
    case UpgradeResult::PortError:
        return "pxr7: the meter's bridge could not be opened or set up (unplugged, or held by "
               "another program). Reconnect the lead and run again.";
    case UpgradeResult::NotAMeterLead:
        return "pxr7: the bridge is not a PXR7 meter lead (an FT232R, 0403:6001, described as "
               "\"Tavelin QVRX\" or \"FT232R USB UART\"); it was left alone.";
    case UpgradeResult::LeadReprogrammed:
        return "pxr7: a lead's settings were corrected and it is restarting: reconnect the USB "
               "lead and run the upgrade again.";
    case UpgradeResult::LeadSetupFailed:
        return "pxr7: the lead's settings could not be written to its EEPROM; nothing was "
               "changed.";
    case UpgradeResult::ImageAltered:
        return "pxr7: the firmware image inside this program does not match the digest it was "
               "built with: the program is damaged or was altered. Reinstall it.";
    case UpgradeResult::NoDriver:
        return backendChoice().backend == "libftdi"
                   ? std::string("pxr7: install libftdi1 (Debian: libftdi1-2).")
                   : std::string("pxr7: install FTDI's D2XX library, or point --driver at it.");
    default:
        return std::string();
    }
}

std::string diagnoseMissingLibrary(const BackendChoice& choice, const std::string& problem) {
    if (choice.backend == "libftdi") {
        return "pxr7: libftdi1 could not start" +
               (problem.empty() ? std::string() : " (" + problem + ")") +
               ". Install libftdi1 (Debian: libftdi1-2).";
    }
    const std::string& path = choice.driverPath;
    std::string line = "pxr7: the D2XX library ";
    line += path.empty() ? std::string(defaultBridgeLibraryName()) + " could not be loaded"
                         : "at " + path + " could not be used";
    if (!problem.empty()) {
        line += " (" + problem + ")";
    }
#if defined(PXR7_HAVE_LIBFTDI)
    return line + ". Install FTDI's D2XX library, point --driver at it, or use the open-source "
                  "libftdi1 instead: --backend libftdi.";
#else
    return line + ". Install FTDI's D2XX library, or point --driver at it.";
#endif
}

std::string noBridgesHint() {
    return std::string("pxr7: check that the lead is plugged in, the meter lead's own USB plug "
                       "too; on Linux, that lsusb shows 0403:6001; and the driver in use: ") +
           backendInUse() + ".";
}

namespace {

// FTDI's library keeps no reason, but sysfs shows the one that stops it on Linux.
std::string ftdiSioHold() {
    const std::vector<std::string> held = ftdiSioHeldBridges();
    if (held.empty()) {
        return std::string();
    }
    std::string line = "the kernel's serial driver ftdi_sio holds ";
    if (held.size() == 1) {
        line += "it (" + held.front() +
                "), and FTDI's library cannot open a bridge ftdi_sio "
                "holds: run with --backend libftdi, or unbind it until the lead is replugged: " +
                ftdiSioUnbindLine(held.front());
        return line;
    }
    std::string names;
    for (const std::string& name : held) {
        names += (names.empty() ? "" : ", ") + name;
    }
    return line + "FT232R bridges (" + names +
           "), and FTDI's library cannot open a bridge "
           "ftdi_sio holds: run with --backend libftdi, or unbind each until it is "
           "replugged: " +
           ftdiSioUnbindLine("<interface>");
}

} // namespace

// The driver lists a bridge some process holds as open; one it refused for another reason
// (permission on Linux, the driver's own state) as closed.
std::string openFailureWords(const std::string& ownWords, bool shownOpen) {
    if (!ownWords.empty()) {
        return "could not be opened: " + ownWords;
    }
    const std::string hold = ftdiSioHold();
    if (!hold.empty()) {
        return "could not be opened: " + hold;
    }
    if (shownOpen) {
        return "could not be opened: another program holds it (a terminal program, another "
               "pxr7, the Windows program): close that program";
    }
    return "could not be opened, and no program holds it: this user may lack permission on its "
           "USB device node (see \"Access to the lead\"), or the driver refused it: unplug the "
           "lead and plug it in again";
}

std::string describeBusy(const BridgeReport& report) {
    const int index = report.identity.index;
    const std::string ownWords = bridgeOpenFailure(index);
    return openFailureWords(ownWords, ownWords.empty() && bridgeShownOpen(index));
}

} // namespace pxr7
