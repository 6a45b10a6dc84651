// The help texts, laid out from the parser's own definitions so they cannot drift from what
// is accepted: `pxr7 --help` shows every command, every option and the footer (the exit
// codes); `pxr7 COMMAND --help` shows the command's options and the options of every command.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace pxr7 {

class HelpFormatter : public CLI::FormatterBase {
public:
    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override;
};

} // namespace pxr7
