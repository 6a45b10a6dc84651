#include "help_format.h"

#include <cctype>

namespace pxr7 {

namespace {

constexpr std::size_t kNameColumn = 24;

// "  -y, --yes               description", continuation lines of the description indented.
std::string optionRow(const CLI::Option* option) {
    std::string names;
    for (const std::string& name : option->get_snames()) {
        names += (names.empty() ? "-" : ", -") + name;
    }
    for (const std::string& name : option->get_lnames()) {
        names += (names.empty() ? "--" : ", --") + name;
    }
    if (!option->get_option_text().empty()) {
        names += " " + option->get_option_text();
    }
    std::string row = "  " + names;
    const std::string indent(2 + kNameColumn, ' ');
    row += names.size() + 1 < kNameColumn ? std::string(kNameColumn - names.size(), ' ')
                                          : "\n" + indent;
    for (const char c : option->get_description()) {
        row += c == '\n' ? "\n" + indent : std::string(1, c);
    }
    return row + "\n";
}

std::string optionRows(const CLI::App* app, bool withHelp) {
    std::string rows;
    for (const CLI::Option* option : app->get_options()) {
        if (withHelp || option != app->get_help_ptr()) {
            rows += optionRow(option);
        }
    }
    return rows;
}

std::string commandList(const CLI::App* app) {
    std::string rows;
    for (const CLI::App* command : app->get_subcommands({})) {
        const std::string& name = command->get_name();
        rows += "  " + name + std::string(name.size() < 10 ? 10 - name.size() : 1, ' ') +
                command->get_description() + "\n";
    }
    return rows;
}

std::string programHelp(const CLI::App* app) {
    std::string text = "Usage: " + app->get_name() + " [OPTIONS] COMMAND [COMMAND OPTIONS]\n\n" +
                       app->get_description() + "\n\nCommands:\n" + commandList(app) +
                       "\nOptions of every command, before or after it:\n" + optionRows(app, true);
    for (const CLI::App* command : app->get_subcommands({})) {
        const std::string rows = optionRows(command, false);
        if (!rows.empty()) {
            text += "\nOptions of " + command->get_name() + ":\n" + rows;
        }
    }
    return text + "\n" + app->get_footer();
}

std::string commandHelp(const CLI::App* command, const std::string& name) {
    const CLI::App* program = command->get_parent();
    // The command list's entry, as a sentence.
    std::string sentence = command->get_description() + ".";
    sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
    std::string text = "Usage: " + name + " [OPTIONS]\n\n" + sentence + "\n\nOptions:\n" +
                       optionRows(command, true);
    if (program != nullptr) {
        text += "\nOptions of every command:\n" + optionRows(program, false);
    }
    // A footer of the command's own (commands start with the program's, the exit codes).
    const std::string footer = command->get_footer();
    const bool own = !footer.empty() && (program == nullptr || footer != program->get_footer());
    return own ? text + "\n" + footer + "\n" : text;
}

} // namespace

std::string HelpFormatter::make_help(const CLI::App* app, std::string name,
                                     CLI::AppFormatMode /*mode*/) const {
    return app->get_parent() == nullptr ? programHelp(app) : commandHelp(app, name);
}

} // namespace pxr7
