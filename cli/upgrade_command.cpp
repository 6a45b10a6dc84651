#include "commands.h"
#include "console_host.h"
#include "device_port.h"
#include "dialog_texts.h"
#include "exit_codes.h"
#include "text_output.h"
#include "upgrade_procedure.h"
#include "version_query.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

using namespace pxr7;

namespace {

volatile std::sig_atomic_t g_interruptRequests = 0;

extern "C" void countInterrupt(int) {
    g_interruptRequests = g_interruptRequests + 1;
    std::signal(SIGINT, countInterrupt);
}

struct VersionField : VersionFieldTarget {
    std::string text;
    void setVersionText(const char* value) override { text = value; }
};

// What the warning dialog shows before an upgrade: the first meter's version and the warning.
void showWarning(const Options& options) {
    chooseImage(0);
    VersionField field;
    const bool found = enumerateMeters(nullptr, &field) > 0;
    chooseImage(IMAGE_RESOURCE_ID);
    if (options.json) {
        std::printf("{\"event\":\"meter\",\"present\":%s,\"version\":%s}\n",
                    found ? "true" : "false", found ? jsonString(field.text).c_str() : "null");
        return;
    }
    std::printf("%s\n  %s\n", PXR7_CONNECTED_VERSION_LABEL,
                found ? printable(field.text).c_str() : PXR7_NO_DEVICES_PRESENT);
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
    std::unique_ptr<DevicePort> port(new (std::nothrow) DevicePort());
    showWarning(options);

    const ProgressStyle style = options.json         ? ProgressStyle::JsonEvents
                                : stdoutIsTerminal() ? ProgressStyle::TerminalBar
                                                     : ProgressStyle::PlainLines;
    ProgressView view(style);
    ConsoleHost host(port.get(), view);
    bool confirmed = false;
    startUpgrade(host, [&] {
        const int answer = askToConfirm(options);
        confirmed = answer == kConfirmUpgrade;
        return answer;
    });
    if (!confirmed) {
        std::fprintf(stderr, "Upgrade cancelled.\n");
        return EXIT_CANCELLED;
    }
    if (upgradeState().active) {
        std::signal(SIGINT, countInterrupt);
        const bool finished = host.runTimers(g_interruptRequests);
        std::signal(SIGINT, SIG_DFL);
        if (!finished) {
            stopTransferTimers(host);
            if (port) {
                port->clearDtr();
                port->close();
            }
            view.finishLine();
            std::fprintf(stderr, "Upgrade interrupted.\n");
            return EXIT_INTERRUPTED;
        }
    }
    return exitCodeForMessage(host.lastMessage());
}
