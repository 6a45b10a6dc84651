// The options several commands take, each declared once here: the meter choice, the record
// file, the operator, the dashboard's address, the database, the stations, and who may read the
// pages served. Each command registers those it takes on its own subcommand.
#pragma once

#include "command.h"
#include "target_choice.h"

#include <string>
#include <vector>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace pxr7 {

// --serial, --index (and upgrade's --all).
struct MeterChoice {
    std::string serial; // empty: none
    int index = -1;     // -1: none
    bool all = false;

    Selection selection() const;
};

// A command that works on the bridges its meter choice selects: the runner loads the driver
// and looks at those bridges first.
class MeterCommand : public CliCommand {
public:
    CommandNeeds needs() const override {
        CommandNeeds needs;
        needs.driver = needs.survey = true;
        return needs;
    }
    Selection selection() const override { return choice_.selection(); }

protected:
    MeterChoice choice_;
};

// Who may read the pages served (--key-file, --host-name, --tls-cert, --tls-key), and the
// certificates https:// stations are checked against (--ca-file).
struct PageAccessOptions {
    std::string keyFile;                // the read key's file; "" no key
    std::vector<std::string> hostNames; // names a request's Host may give beyond the machine's
    std::string tlsCertificate, tlsKey; // the pages over TLS: PEM files; "" plain HTTP
    std::string caFile;
};

// CLI11 takes "--driver ''" as a value; an empty path or serial number is never meant.
std::string notEmpty(const std::string& text);
// A count of meters or retries: digits, 0 or more.
std::string meterCount(const std::string& text);

void addMeterChoice(CLI::App& command, MeterChoice& choice);
void addOperatorOption(CLI::App& command, std::string& name);
CLI::Option* addRecordOption(CLI::App& command, std::string& path, const char* help);
// An address to serve the pages on, "[HOST:]PORT" (--serve, serve's --listen).
CLI::Option* addAddressOption(CLI::App& command, const char* name, std::string& address,
                              const char* help);
CLI::Option* addDatabaseOption(CLI::App& command, std::string& url, const char* help);
CLI::Option* addStationUrls(CLI::App& command, std::vector<std::string>& urls, const char* help);
// The read key and the extra names of the pages served; --key-file alone for a command that
// only sends the key. For the served pages of a command that serves only with serve (station,
// history), the access options need it.
void addPageAccessOptions(CLI::App& command, PageAccessOptions& access, bool served,
                          CLI::Option* serve = nullptr);

} // namespace pxr7
