#include "commands.h"
#include "console_host.h"
#include "dialog_texts.h"
#include "exit_codes.h"
#include "text_output.h"
#include "upgrade.h"

#include <csignal>
#include <cstdio>

namespace pxr7 {

namespace {

volatile std::sig_atomic_t g_interruptRequests = 0;

extern "C" void countInterrupt(int) {
    g_interruptRequests = g_interruptRequests + 1;
    std::signal(SIGINT, countInterrupt);
}

// What the warning dialog shows before an upgrade: the first meter's version and the warning.
void showWarning(const Options& options, const PreUpgradeCheck& check) {
    const bool found = check.meter.has_value();
    if (options.json) {
        std::printf("{\"event\":\"meter\",\"present\":%s,\"version\":%s}\n",
                    found ? "true" : "false",
                    found ? jsonString(check.meter->version).c_str() : "null");
        return;
    }
    std::printf("%s\n  %s\n", PXR7_CONNECTED_VERSION_LABEL,
                found ? printable(check.meter->version).c_str() : PXR7_NO_DEVICES_PRESENT);
    std::printf("%s:\n  %s\n\n", PXR7_UPGRADABLE_VERSIONS_LABEL, PXR7_ANY_VERSION);
    std::printf("%s\n%s\n\n", PXR7_WARNING_LABEL, PXR7_WARNING_TEXT);
    std::fflush(stdout);
}

int askToConfirm(const Options& options) {
    if (options.assumeYes) {
        return kConfirmUpgrade;
    }
    std::printf("Upgrade now? [y/N] ");
    std::fflush(stdout);
    char answer[16] = {};
    if (std::fgets(answer, sizeof answer, stdin) == nullptr) {
        std::printf("\n");
        return 2;
    }
    return (answer[0] == 'y' || answer[0] == 'Y') ? kConfirmUpgrade : 2;
}

} // namespace

int runUpgradeCommand(const Options& options) {
    if (!loadDriver(options)) {
        return EXIT_NO_DRIVER;
    }
    const ProgressStyle style = options.json         ? ProgressStyle::JsonEvents
                                : stdoutIsTerminal() ? ProgressStyle::TerminalBar
                                                     : ProgressStyle::PlainLines;
    if (embeddedImageIsStandIn()) {
        std::fprintf(stderr, "%s\n", kStandInImageNotice);
    }
    ProgressView view(style);
    ConsoleHost host(view, options.json);
    Upgrade upgrade(host);
    showWarning(options, upgrade.checkBeforeStart(IMAGE_RESOURCE_ID));

    upgrade.start([&] { return askToConfirm(options); });
    if (host.hasOutcome() && host.outcome().result == UpgradeResult::Cancelled) {
        std::fprintf(stderr, "Upgrade cancelled.\n");
        return EXIT_CANCELLED;
    }
    if (upgrade.progress().active) {
        std::signal(SIGINT, countInterrupt);
        const bool finished = host.runTimers(upgrade, g_interruptRequests);
        std::signal(SIGINT, SIG_DFL);
        if (!finished) {
            upgrade.stopTimers();
            if (DevicePort* port = upgrade.port()) {
                port->clearDtr();
                port->close();
            }
            view.finishLine();
            std::fprintf(stderr, "Upgrade interrupted.\n");
            return EXIT_INTERRUPTED;
        }
    }
    return commandOutcomeFor(host.outcome().result).exitCode;
}

} // namespace pxr7
