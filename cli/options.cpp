#include "options.h"

#include <cstdlib>
#include <cstring>

namespace pxr7 {

namespace {

Command commandNamed(const char* word) {
    if (std::strcmp(word, "list") == 0) {
        return Command::List;
    }
    if (std::strcmp(word, "setup") == 0) {
        return Command::Setup;
    }
    if (std::strcmp(word, "upgrade") == 0) {
        return Command::Upgrade;
    }
    if (std::strcmp(word, "about") == 0) {
        return Command::About;
    }
    if (std::strcmp(word, "help") == 0) {
        return Command::Help;
    }
    return Command::None;
}

} // namespace

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            options.command = Command::Help;
            return options;
        }
        if (std::strcmp(argument, "--json") == 0) {
            options.json = true;
        } else if (std::strcmp(argument, "--yes") == 0 || std::strcmp(argument, "-y") == 0) {
            options.assumeYes = true;
        } else if (std::strcmp(argument, "--all") == 0) {
            options.all = true;
        } else if (std::strcmp(argument, "--skip-if-current") == 0) {
            options.skipIfCurrent = true;
        } else if (std::strcmp(argument, "--no-verify") == 0) {
            options.noVerify = true;
        } else if (std::strcmp(argument, "-v") == 0 || std::strcmp(argument, "--verbose") == 0) {
            options.verbose = true;
        } else if (std::strcmp(argument, "--serial") == 0 && i + 1 < argc) {
            options.serial = argv[++i];
        } else if (std::strcmp(argument, "--index") == 0 && i + 1 < argc) {
            options.index = std::atoi(argv[++i]);
        } else if (std::strcmp(argument, "--log") == 0 && i + 1 < argc) {
            options.logPath = argv[++i];
        } else if (std::strcmp(argument, "--driver") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                options.error = "--driver needs the path of the D2XX library";
                return options;
            }
            options.driverPath = argv[++i];
        } else if (std::strncmp(argument, "--driver=", 9) == 0 && argument[9] != '\0') {
            options.driverPath = argument + 9;
        } else if (argument[0] == '-') {
            options.error = std::string("unknown option ") + argument;
            return options;
        } else if (options.command == Command::None) {
            options.command = commandNamed(argument);
            if (options.command == Command::None) {
                options.error = std::string("unknown command ") + argument;
                return options;
            }
        } else {
            options.error = std::string("unexpected argument ") + argument;
            return options;
        }
    }
    if (options.command == Command::None) {
        options.error = "no command given";
    }
    return options;
}

const char* usageText() {
    return "Usage: pxr7 [--driver PATH] [--json] COMMAND\n"
           "\n"
           "Upgrades the firmware of a PXR7 meter connected through its USB lead.\n"
           "\n"
           "Commands:\n"
           "  list             ask every connected meter for its software version\n"
           "  upgrade [--yes]  upgrade the first meter with the firmware this program carries\n"
           "  about            show the program's version\n"
           "\n"
           "Options:\n"
           "  --driver PATH    load the D2XX library from PATH instead of the default\n"
           "  --json           machine-readable output (list: one object; upgrade: one event\n"
           "                   object per line)\n"
           "  --yes, -y        upgrade without asking for confirmation\n"
           "  --help, -h       show this text\n"
           "\n"
           "Exit codes:\n"
           "  0    success\n"
           "  1    other failure\n"
           "  2    usage error\n"
           "  3    the USB driver (D2XX library) could not be loaded\n"
           "  4    USB port error: the bridge could not be opened or configured\n"
           "  5    the bridge's settings were corrected and it is restarting: reconnect the\n"
           "       USB lead and run the upgrade again\n"
           "  6    the meter stopped answering (handshake not received)\n"
           "  7    the firmware image the program carries could not be used\n"
           "  8    cancelled by the user\n"
           "  9    the lead's settings could not be written to its EEPROM\n"
           "  10   the bridge is not a PXR7 meter lead; it was left alone\n"
           "  130  interrupted\n";
}

} // namespace pxr7
