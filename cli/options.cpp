#include "options.h"

#include "bridge_library.h"
#include "exit_codes.h"
#include "help_format.h"
#include "http_url.h"
#include "request_access.h"
#include "serve_address.h"
#include "terminal.h"
#include "unit_ids.h"
#include "version_info.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

namespace pxr7 {

namespace {

#if defined(PXR7_HAVE_LIBFTDI)
constexpr bool kLibftdiBuilt = true;
#else
constexpr bool kLibftdiBuilt = false;
#endif

struct CommandRow {
    Command command;
    const char* name;
    const char* description;
};

constexpr CommandRow kCommands[] = {
    {Command::List, "list", "ask every connected meter for its software version"},
    {Command::Setup, "setup", "check a meter lead's settings and correct them"},
    {Command::Upgrade, "upgrade", "upgrade a meter with the firmware this program carries"},
    {Command::About, "about", "show the program's version"},
    {Command::Station, "station", "upgrade meter after meter on a bench of meter leads"},
    {Command::History, "history", "sum up the record of upgraded meters, per lead"},
    {Command::Collect, "collect", "gather the stations' records into one database"},
    {Command::Serve, "serve", "serve the history of every bench and a live overview"},
};

// The help's footer, from the one table of exit codes: each help text wrapped under its code.
std::string exitCodesFooter() {
    std::string footer = "Exit codes:\n";
    std::size_t count = 0;
    const ExitCodeRow* rows = exitCodeRows(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::string code = std::to_string(rows[i].code);
        code.resize(5, ' ');
        std::string indent = "  " + code;
        for (const std::string& line : wrapText(rows[i].help, 78 - 7)) {
            footer += indent + line + "\n";
            indent = std::string(7, ' ');
        }
    }
    return footer;
}

// CLI11 takes "--driver ''" as a value; an empty path or serial number is never meant.
std::string notEmpty(const std::string& text) {
    return text.empty() ? "needs a value" : "";
}

std::string bridgeNumber(const std::string& text) {
    const bool digits = !text.empty() && text.size() < 6 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    return digits ? "" : "needs a bridge number, 0 or more";
}

// Only a build with the libftdi1 backend (never Windows) offers the choice, and with it the
// words about the kernel's ftdi_sio driver.
void addBackendOption(CLI::App& app, Options& options) {
    app.add_option("--backend", options.backend,
                   "how to reach the bridges: d2xx (FTDI's library)\n"
                   "or libftdi (libftdi1). Default: d2xx, but\n"
                   "libftdi where FTDI's library does not load or\n"
                   "the kernel's ftdi_sio driver holds FT232R bridges")
        ->option_text("d2xx|libftdi")
        ->check(CLI::IsMember({"d2xx", "libftdi"}));
}

void addProgramOptions(CLI::App& app, Options& options, bool& showVersion) {
    app.add_option("--driver", options.driverPath,
                   std::string("load the D2XX library from PATH instead of the\n"
                               "default (") +
                       defaultBridgeLibraryName() + ")")
        ->option_text("PATH")
        ->check(notEmpty)
        // The last one counts, so a wrapper's --driver can be overridden.
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    if (kLibftdiBuilt) {
        addBackendOption(app, options);
    }
    app.add_flag("--json", options.json, "machine-readable output: JSON objects, one a line");
    app.add_flag("-v,--verbose", options.verbose, "say more about each step");
    app.add_flag("-q,--quiet", options.quiet, "print only errors and the result")
        ->excludes("--verbose");
    app.add_flag("--trace", options.trace, "print every call to the bridges' library");
    app.add_option("--log", options.logPath, "append one line about the run to FILE")
        ->option_text("FILE")
        ->check(notEmpty);
    app.add_flag("--version", showVersion,
                 "show the program's version, the firmware image it\n"
                 "carries and the D2XX library, then exit");
}

void addMeterChoice(CLI::App& command, Options& options) {
    CLI::Option* serial =
        command.add_option("--serial", options.serial, "the meter whose lead has serial number S")
            ->option_text("S")
            ->check(notEmpty);
    CLI::Option* index = command
                             .add_option("--index", options.index,
                                         "the meter on bridge N (0: the first one);\n"
                                         "not with --serial")
                             ->option_text("N")
                             ->check(bridgeNumber);
    serial->excludes(index);
}

// An operator's name is held to a unit id's rules: printable, 64 characters at most.
std::string operatorName(const std::string& text) {
    const UnitIdRefusal refusal = checkUnitIdText(withoutBlanks(text));
    return refusal == UnitIdRefusal::None ? ""
                                          : std::string("the name: ") + unitIdRefusalText(refusal);
}

void addOperatorOption(CLI::App& command, Options& options) {
    command
        .add_option("--operator", options.operatorName,
                    "the name of who runs the bench, for the record")
        ->option_text("NAME")
        ->check(operatorName);
}

void addUpgradeOptions(CLI::App& command, Options& options) {
    command.add_flag("-y,--yes", options.assumeYes, "upgrade without asking for confirmation");
    CLI::Option* all = command.add_flag("--all", options.all,
                                        "upgrade every connected meter at once, each\n"
                                        "at its own pace; not with --serial or --index");
    all->excludes(command.get_option("--serial"));
    all->excludes(command.get_option("--index"));
    command.add_flag("--skip-if-current", options.skipIfCurrent,
                     "leave a meter alone that already runs the\nfirmware's version");
    command.add_flag("--no-verify", options.noVerify,
                     "do not ask the meter for its version afterwards");
    command.add_flag("--setup", options.setup,
                     "set up a lead whose EEPROM needs it without asking;\n"
                     "--yes alone never writes an EEPROM");
    command
        .add_option("--record", options.recordPath,
                    "append each meter's outcome to FILE instead of\nthe default record")
        ->option_text("FILE")
        ->check(notEmpty);
    addOperatorOption(command, options);
}

std::string serveAddress(const std::string& text) {
    ServeAddress address;
    std::string problem;
    return parseServeAddress(text, address, problem) ? "" : problem;
}

CLI::Option* addServeOption(CLI::App& command, Options& options, const char* help) {
    return command.add_option("--serve", options.serve, help)
        ->option_text("[HOST:]PORT")
        ->check(serveAddress);
}

std::string keyFileProblem(const std::string& path) {
    std::string key, problem;
    return readKeyFile(path, key, problem) ? "" : problem;
}

// The read key and the extra names of the pages served; --key-file alone for a command that
// only sends the key.
void addPageAccessOptions(CLI::App& command, Options& options, bool served) {
    command
        .add_option("--key-file", options.keyFile,
                    served ? "pages and API only for those with the key in FILE\n(a link with "
                             "?key=KEY, or Authorization: Bearer)"
                           : "send the key in FILE to the stations (their\n--key-file)")
        ->option_text("FILE")
        ->check(keyFileProblem);
    if (!served || command.get_name() == "serve") {
        command
            .add_option("--ca-file", options.caFile,
                        "check https:// stations against the certificates\nin FILE (PEM) instead "
                        "of the system's")
            ->option_text("FILE")
            ->check(CLI::ExistingFile);
    }
    if (served) {
        CLI::Option* certificate =
            command
                .add_option("--tls-cert", options.tlsCertificate,
                            "serve over TLS (https://) with the certificate in\nFILE (PEM, the "
                            "chain after it)")
                ->option_text("FILE")
                ->check(CLI::ExistingFile);
        CLI::Option* key = command
                               .add_option("--tls-key", options.tlsKey,
                                           "the private key of --tls-cert, in FILE (PEM)")
                               ->option_text("FILE")
                               ->check(CLI::ExistingFile);
        certificate->needs(key);
        key->needs(certificate);
        command
            .add_option("--host-name", options.hostNames,
                        "also answer to NAME beyond the machine's own name\nand addresses "
                        "(once for each name)")
            ->option_text("NAME")
            ->check(notEmpty)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    }
}

std::string databaseUrl(const std::string& text) {
    const bool url = text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
    return url ? "" : "needs a postgresql:// URL";
}

CLI::Option* addDatabaseOption(CLI::App& command, Options& options, const char* help) {
    return command.add_option("--database", options.database, help)
        ->option_text("URL")
        ->check(databaseUrl);
}

void addHistoryOptions(CLI::App& command, Options& options) {
    command.add_option("--record", options.recordPath, "read FILE instead of the default record")
        ->option_text("FILE")
        ->check(notEmpty);
    command.add_option("--last", options.lastEntries, "show the last N entries (default 10)")
        ->option_text("N")
        ->check(CLI::Range(0, 100000));
    command.add_option("--unit", options.unitId, "show everything done to the unit with id ID")
        ->option_text("ID")
        ->check(notEmpty);
    CLI::Option* bench =
        command.add_option("--bench", options.benchName, "sum up only the lines of the bench NAME")
            ->option_text("NAME")
            ->check(notEmpty);
    CLI::Option* serve =
        addServeOption(command, options, "serve the history pages on [HOST:]PORT until\nCtrl+C");
    bench->excludes(serve);
    CLI::Option* database = addDatabaseOption(command, options,
                                              "read the record of every bench from the\n"
                                              "database at URL, not a record file");
    database->excludes(serve);
    database->excludes(command.get_option("--record"));
    addPageAccessOptions(command, options, true);
    for (const char* name : {"--key-file", "--host-name", "--tls-cert", "--tls-key"}) {
        command.get_option(name)->needs(serve);
    }
    command
        .add_flag("--verify", options.verify,
                  "walk the record's chain and say which lines\nwere changed, removed or inserted")
        ->excludes(serve)
        ->excludes(bench)
        ->excludes(command.get_option("--unit"))
        ->excludes(command.get_option("--last"));
}

// Read as the collector and the overview read it, so what they would refuse is refused here.
std::string stationUrl(const std::string& text) {
    HttpUrl url;
    std::string problem;
    return parseHttpUrl(text, url, problem) ? "" : "needs http://HOST:PORT or https://HOST:PORT";
}

CLI::Option* addStationUrls(CLI::App& command, Options& options, const char* help) {
    return command.add_option("--station", options.stations, help)
        ->option_text("URL")
        ->check(stationUrl)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

void addCollectOptions(CLI::App& command, Options& options) {
    command.footer("It runs until Ctrl+C or SIGTERM; a station or the database that is away is "
                   "tried\nagain, and what it missed is collected when it is back.");
    addStationUrls(command, options,
                   "a station's dashboard, http://HOST:PORT (once\nfor each bench)")
        ->required();
    addDatabaseOption(command, options,
                      "the database to fill: postgresql://[USER@]HOST\n[:PORT]/NAME (the "
                      "password from PGPASSFILE)")
        ->required();
    command.add_flag("--once", options.once, "collect what the stations hold now, then end");
    addPageAccessOptions(command, options, false);
}

void addServeCommandOptions(CLI::App& command, Options& options) {
    command.footer("It runs until Ctrl+C or SIGTERM.");
    addDatabaseOption(command, options, "the database the collector fills")->required();
    addStationUrls(command, options,
                   "a station to show in the live overview,\nhttp://HOST:PORT (once for each)");
    command
        .add_option("--listen", options.listen,
                    "serve the pages on [HOST:]PORT (default\n127.0.0.1:8470)")
        ->option_text("[HOST:]PORT")
        ->check(serveAddress);
    addPageAccessOptions(command, options, true);
}

std::string meterCount(const std::string& text) {
    const bool digits = !text.empty() && text.size() < 7 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    return digits ? "" : "needs a number, 0 or more";
}

void addStationOptions(CLI::App& command, Options& options) {
    command.footer("Starting the station is the consent to upgrade every meter that comes to "
                   "it.\nIt runs until Ctrl+C (the upgrades under way finish first), SIGTERM or "
                   "--count.");
    command
        .add_option("--count", options.count,
                    "end after N meters have finished (0, the default:\nuntil stopped)")
        ->option_text("N")
        ->check(meterCount);
    command
        .add_option("--retries", options.retries,
                    "try a meter again this often after no handshake, a\n"
                    "stopped transfer or no answer (default 2)")
        ->option_text("N")
        ->check(meterCount);
    command
        .add_option("--record", options.recordPath,
                    "append each meter's line to FILE instead of the\ndefault record")
        ->option_text("FILE")
        ->check(notEmpty);
    command.add_flag("--setup", options.setup, "set up factory-fresh leads without asking");
    command.add_flag("--lane-counts", options.laneCounts,
                     "show each lane's own ok, current and failed counts");
    command
        .add_option("--bench", options.benchPath,
                    "name the leads as FILE says (default: bench.conf\n"
                    "in the config folder, if it is there)")
        ->option_text("FILE")
        ->check(notEmpty);
    command.add_flag("--unit-ids", options.unitIds,
                     "upgrade a meter only once its unit id is typed\nor scanned");
    addOperatorOption(command, options);
    CLI::Option* serve = addServeOption(command, options,
                                        "serve the dashboard on [HOST:]PORT (HOST 127.0.0.1\n"
                                        "unless given; port 0 picks a free one)");
    addPageAccessOptions(command, options, true);
    for (const char* name : {"--key-file", "--host-name", "--tls-cert", "--tls-key"}) {
        command.get_option(name)->needs(serve);
    }
}

void addCommandOptions(CLI::App& command, Command which, Options& options) {
    if (which == Command::About) {
        return;
    }
    if (which == Command::Station) {
        addStationOptions(command, options);
        return;
    }
    if (which == Command::History) {
        addHistoryOptions(command, options);
        return;
    }
    if (which == Command::Collect) {
        addCollectOptions(command, options);
        return;
    }
    if (which == Command::Serve) {
        addServeCommandOptions(command, options);
        return;
    }
    addMeterChoice(command, options);
    if (which == Command::Setup) {
        command.add_flag("-y,--yes", options.assumeYes, "correct the settings without asking");
    } else if (which == Command::Upgrade) {
        addUpgradeOptions(command, options);
    }
}

// What CLI11 left over, as the one line a usage error gets.
std::string leftOverError(const CLI::App& app, Command command) {
    const std::vector<std::string> left = app.remaining(true);
    const std::string& first = left.front();
    const bool option = first.size() > 1 && first[0] == '-';
    if (command == Command::None) {
        return (option ? "unknown option " : "unknown command ") + first;
    }
    const std::string name = commandName(command);
    return option ? name + " does not take " + first
                  : "unexpected argument " + first + " after " + name;
}

// CLI11's words, reworded where they read like a parser's.
std::string parseErrorText(const CLI::ParseError& error) {
    const std::string text = error.what();
    const std::size_t excludes = text.find(" excludes ");
    if (dynamic_cast<const CLI::ExcludesError*>(&error) != nullptr &&
        excludes != std::string::npos) {
        return text.substr(0, excludes) + " and " + text.substr(excludes + 10) +
               " cannot be used together";
    }
    const std::size_t colon = text.find(": ");
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr &&
        colon != std::string::npos && text.find(" missing") != std::string::npos) {
        return text.substr(0, colon) + " needs a value";
    }
    return text;
}

int usageError(const std::string& what) {
    std::string line = what;
    for (char& c : line) {
        c = c == '\n' ? ' ' : c;
    }
    std::fprintf(stderr, "pxr7: %s\nTry 'pxr7 --help'.\n", line.c_str());
    return EXIT_USAGE;
}

// Options that take the next word as their value, so that word is never taken for a command:
// asked of CLI11, which knows every option of the program and of each command.
bool takesValue(CLI::App& app, const std::string& word) {
    if (word.size() < 2 || word[0] != '-') {
        return false;
    }
    const CLI::Option* option = app.get_option_no_throw(word);
    for (CLI::App* command : app.get_subcommands({})) {
        if (option == nullptr) {
            option = command->get_option_no_throw(word);
        }
    }
    return option != nullptr && option->get_items_expected_min() > 0;
}

// The words with the command moved to the front, so any option may stand before or after it
// (`pxr7 --yes upgrade` as `pxr7 upgrade --yes`): program options work on either side of a
// command, and a command's own options are found wherever they stand.
std::vector<char*> commandFirst(CLI::App& app, int argc, char** argv) {
    std::vector<char*> words(argv, argv + argc);
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--") {
            break;
        }
        if (takesValue(app, word)) {
            ++i;
            continue;
        }
        for (const CommandRow& row : kCommands) {
            if (word == row.name) {
                words.erase(words.begin() + i);
                words.insert(words.begin() + 1, argv[i]);
                return words;
            }
        }
    }
    return words;
}

int parse(int argc, char** argv, Options& options) {
    CLI::App app("Upgrades the firmware of a PXR7 meter connected through its USB lead.", "pxr7");
    app.formatter(std::make_shared<HelpFormatter>());
    app.set_help_flag("-h,--help", "show the help; after a command, that command's help");
    app.footer(exitCodesFooter());
    // Program options also after the command; left-overs are reported in our own words.
    app.fallthrough();
    app.allow_extras();
    app.require_subcommand(0, 1);
    bool showVersion = false;
    addProgramOptions(app, options, showVersion);
    for (const CommandRow& row : kCommands) {
        addCommandOptions(*app.add_subcommand(row.name, row.description), row.command, options);
    }
    try {
        std::vector<char*> words = commandFirst(app, argc, argv);
        app.parse(static_cast<int>(words.size()), words.data());
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return EXIT_OK;
    } catch (const CLI::ParseError& error) {
        return usageError(parseErrorText(error));
    }
    for (const CommandRow& row : kCommands) {
        if (app.got_subcommand(row.name)) {
            options.command = row.command;
        }
    }
    if (!app.remaining(true).empty()) {
        return usageError(leftOverError(app, options.command));
    }
    if (showVersion) {
        printVersionInfo(options);
        return EXIT_OK;
    }
    if (options.command == Command::None) {
        return usageError("no command given");
    }
    return -1;
}

} // namespace

int parseOptions(int argc, char** argv, Options& options) {
    // CLI11 reports through exceptions; none may go further than this.
    try {
        return parse(argc, argv, options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pxr7: %s\n", error.what());
        return EXIT_FAILURE_OTHER;
    }
}

const char* commandName(Command command) {
    for (const CommandRow& row : kCommands) {
        if (row.command == command) {
            return row.name;
        }
    }
    return "";
}

} // namespace pxr7
