#include "command_line.h"

#include "bridge_library.h"
#include "exit_codes.h"
#include "help_format.h"
#include "shared_options.h"
#include "terminal.h"
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

// The help's footer, from the one table of exit codes: each help text wrapped under its code.
std::string exitCodesFooter() {
    std::string footer = "Exit codes:\n";
    std::size_t count = 0;
    const ExitCodeRow* rows = exitCodeRows(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::string code = std::to_string(exitCodeOf(rows[i].outcome));
        code.resize(5, ' ');
        std::string indent = "  " + code;
        for (const std::string& line : wrapText(rows[i].help, 78 - 7)) {
            footer += indent + line + "\n";
            indent = std::string(7, ' ');
        }
    }
    return footer;
}

// Only a build with the libftdi1 backend (never Windows) offers the choice, and with it the
// words about the kernel's ftdi_sio driver.
void addBackendOption(CLI::App& app, ProgramOptions& options) {
    app.add_option("--backend", options.backend,
                   "how to reach the bridges: d2xx (FTDI's library)\n"
                   "or libftdi (libftdi1). Default: d2xx, but\n"
                   "libftdi where FTDI's library does not load or\n"
                   "the kernel's ftdi_sio driver holds FT232R bridges")
        ->option_text("d2xx|libftdi")
        ->check(CLI::IsMember({"d2xx", "libftdi"}));
}

void addProgramOptions(CLI::App& app, ProgramOptions& options, bool& showVersion) {
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

// What CLI11 left over, as the one line a usage error gets.
std::string leftOverError(const CLI::App& app, const CliCommand* command) {
    const std::vector<std::string> left = app.remaining(true);
    const std::string& first = left.front();
    const bool option = first.size() > 1 && first[0] == '-';
    if (command == nullptr) {
        return (option ? "unknown option " : "unknown command ") + first;
    }
    const std::string name = command->name();
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

ParsedLine usageError(const std::string& what) {
    std::string line = what;
    for (char& c : line) {
        c = c == '\n' ? ' ' : c;
    }
    std::fprintf(stderr, "pxr7: %s\nTry 'pxr7 --help'.\n", line.c_str());
    return ParsedLine{Outcome::Usage, nullptr};
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

bool isCommandName(CLI::App& app, const std::string& word) {
    for (const CLI::App* command : app.get_subcommands({})) {
        if (command->get_name() == word) {
            return true;
        }
    }
    return false;
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
        if (isCommandName(app, word)) {
            words.erase(words.begin() + i);
            words.insert(words.begin() + 1, argv[i]);
            return words;
        }
    }
    return words;
}

void describeProgram(CLI::App& app) {
    app.formatter(std::make_shared<HelpFormatter>());
    app.set_help_flag("-h,--help", "show the help; after a command, that command's help");
    app.footer(exitCodesFooter());
    // Program options also after the command; left-overs are reported in our own words.
    app.fallthrough();
    app.allow_extras();
    app.require_subcommand(0, 1);
}

ParsedLine parse(int argc, char** argv, const std::vector<std::unique_ptr<CliCommand>>& commands,
                 ProgramOptions& program) {
    CLI::App app("Upgrades the firmware of a PXR7 meter connected through its USB lead.", "pxr7");
    describeProgram(app);
    bool showVersion = false;
    addProgramOptions(app, program, showVersion);
    for (const std::unique_ptr<CliCommand>& command : commands) {
        command->addOptions(*app.add_subcommand(command->name(), command->description()));
    }
    try {
        std::vector<char*> words = commandFirst(app, argc, argv);
        app.parse(static_cast<int>(words.size()), words.data());
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return ParsedLine{Outcome::Ok, nullptr};
    } catch (const CLI::ParseError& error) {
        return usageError(parseErrorText(error));
    }
    ParsedLine parsed;
    for (const std::unique_ptr<CliCommand>& command : commands) {
        parsed.command = app.got_subcommand(command->name()) ? command.get() : parsed.command;
    }
    if (!app.remaining(true).empty()) {
        return usageError(leftOverError(app, parsed.command));
    }
    if (showVersion) {
        printVersionInfo(program);
        return ParsedLine{Outcome::Ok, nullptr};
    }
    return parsed.command == nullptr ? usageError("no command given") : parsed;
}

} // namespace

ParsedLine parseCommandLine(int argc, char** argv,
                            const std::vector<std::unique_ptr<CliCommand>>& commands,
                            ProgramOptions& program) {
    // CLI11 reports through exceptions; none may go further than this.
    try {
        return parse(argc, argv, commands, program);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pxr7: %s\n", error.what());
        return ParsedLine{Outcome::FailureOther, nullptr};
    }
}

} // namespace pxr7
