#include "shared_options.h"

#include "http_url.h"
#include "request_access.h"
#include "serve_address.h"
#include "unit_ids.h"

#include <CLI/CLI.hpp>

namespace pxr7 {

namespace {

std::string bridgeNumber(const std::string& text) {
    const bool digits = !text.empty() && text.size() < 6 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    return digits ? "" : "needs a bridge number, 0 or more";
}

// An operator's name is held to a unit id's rules: printable, 64 characters at most.
std::string operatorName(const std::string& text) {
    const UnitIdRefusal refusal = checkUnitIdText(withoutBlanks(text));
    return refusal == UnitIdRefusal::None ? ""
                                          : std::string("the name: ") + unitIdRefusalText(refusal);
}

std::string serveAddress(const std::string& text) {
    ServeAddress address;
    std::string problem;
    return parseServeAddress(text, address, problem) ? "" : problem;
}

std::string keyFileProblem(const std::string& path) {
    std::string key, problem;
    return readKeyFile(path, key, problem) ? "" : problem;
}

std::string databaseUrl(const std::string& text) {
    const bool url = text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
    return url ? "" : "needs a postgresql:// URL";
}

// Read as the collector and the overview read it, so what they would refuse is refused here.
std::string stationUrl(const std::string& text) {
    HttpUrl url;
    std::string problem;
    return parseHttpUrl(text, url, problem) ? "" : "needs http://HOST:PORT or https://HOST:PORT";
}

void addServedPageOptions(CLI::App& command, PageAccessOptions& access) {
    CLI::Option* certificate =
        command
            .add_option("--tls-cert", access.tlsCertificate,
                        "serve over TLS (https://) with the certificate in\nFILE (PEM, the "
                        "chain after it)")
            ->option_text("FILE")
            ->check(CLI::ExistingFile);
    CLI::Option* key =
        command
            .add_option("--tls-key", access.tlsKey, "the private key of --tls-cert, in FILE (PEM)")
            ->option_text("FILE")
            ->check(CLI::ExistingFile);
    certificate->needs(key);
    key->needs(certificate);
    command
        .add_option("--host-name", access.hostNames,
                    "also answer to NAME beyond the machine's own name\nand addresses "
                    "(once for each name)")
        ->option_text("NAME")
        ->check(notEmpty)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

} // namespace

Selection MeterChoice::selection() const {
    Selection chosen;
    chosen.serial = serial;
    chosen.index = index;
    chosen.all = all;
    return chosen;
}

std::string notEmpty(const std::string& text) {
    return text.empty() ? "needs a value" : "";
}

std::string meterCount(const std::string& text) {
    const bool digits = !text.empty() && text.size() < 7 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    return digits ? "" : "needs a number, 0 or more";
}

void addMeterChoice(CLI::App& command, MeterChoice& choice) {
    CLI::Option* serial =
        command.add_option("--serial", choice.serial, "the meter whose lead has serial number S")
            ->option_text("S")
            ->check(notEmpty);
    CLI::Option* index = command
                             .add_option("--index", choice.index,
                                         "the meter on bridge N (0: the first one);\n"
                                         "not with --serial")
                             ->option_text("N")
                             ->check(bridgeNumber);
    serial->excludes(index);
}

void addOperatorOption(CLI::App& command, std::string& name) {
    command.add_option("--operator", name, "the name of who runs the bench, for the record")
        ->option_text("NAME")
        ->check(operatorName);
}

CLI::Option* addRecordOption(CLI::App& command, std::string& path, const char* help) {
    return command.add_option("--record", path, help)->option_text("FILE")->check(notEmpty);
}

CLI::Option* addAddressOption(CLI::App& command, const char* name, std::string& address,
                              const char* help) {
    return command.add_option(name, address, help)->option_text("[HOST:]PORT")->check(serveAddress);
}

CLI::Option* addDatabaseOption(CLI::App& command, std::string& url, const char* help) {
    return command.add_option("--database", url, help)->option_text("URL")->check(databaseUrl);
}

CLI::Option* addStationUrls(CLI::App& command, std::vector<std::string>& urls, const char* help) {
    return command.add_option("--station", urls, help)
        ->option_text("URL")
        ->check(stationUrl)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

void addPageAccessOptions(CLI::App& command, PageAccessOptions& access, bool served,
                          CLI::Option* serve) {
    command
        .add_option("--key-file", access.keyFile,
                    served ? "pages and API only for those with the key in FILE\n(a link with "
                             "?key=KEY, or Authorization: Bearer)"
                           : "send the key in FILE to the stations (their\n--key-file)")
        ->option_text("FILE")
        ->check(keyFileProblem);
    if (!served || command.get_name() == "serve") {
        command
            .add_option("--ca-file", access.caFile,
                        "check https:// stations against the certificates\nin FILE (PEM) instead "
                        "of the system's")
            ->option_text("FILE")
            ->check(CLI::ExistingFile);
    }
    if (!served) {
        return;
    }
    addServedPageOptions(command, access);
    if (serve != nullptr) {
        for (const char* name : {"--key-file", "--host-name", "--tls-cert", "--tls-key"}) {
            command.get_option(name)->needs(serve);
        }
    }
}

} // namespace pxr7
