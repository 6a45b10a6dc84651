#include "truth.h"

#include <algorithm>
#include <cstdlib>

namespace soak {

namespace {

// Splits a line into words and key=value pairs; a value may be quoted as in the scenario
// (\" \\ and \xNN inside).
std::map<std::string, std::string> fieldsOf(const std::string& line, std::string& word) {
    std::map<std::string, std::string> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '=') {
            ++i;
        }
        const std::string key = line.substr(start, i - start);
        if (i >= line.size() || line[i] != '=') {
            word = key.empty() ? word : key;
            continue;
        }
        std::string value;
        if (++i < line.size() && line[i] == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == 'x') {
                    value +=
                        static_cast<char>(std::strtol(line.substr(i + 2, 2).c_str(), nullptr, 16));
                    i += 3;
                } else {
                    value += line[i] == '\\' ? line[++i] : line[i];
                }
            }
            ++i;
        } else {
            while (i < line.size() && line[i] != ' ') {
                value += line[i++];
            }
        }
        fields[key] = value;
    }
    return fields;
}

bool kindOf(const std::string& word, EventKind& kind) {
    static const std::pair<const char*, EventKind> words[] = {
        {"attached", EventKind::Attached},
        {"detached", EventKind::Detached},
        {"held", EventKind::Held},
        {"pulse", EventKind::Pulse},
        {"pulse_ignored", EventKind::PulseIgnored},
        {"answered", EventKind::Answered},
        {"stored", EventKind::Stored},
        {"new_firmware", EventKind::NewFirmware},
    };
    for (const auto& entry : words) {
        if (word == entry.first) {
            kind = entry.second;
            return true;
        }
    }
    return false;
}

bool readUnitLine(const std::map<std::string, std::string>& fields, const std::string& word,
                  Truth& truth) {
    UnitEvent event;
    const auto unit = fields.find("unit");
    const auto at = fields.find("at_ms");
    const std::size_t dot = unit == fields.end() ? std::string::npos : unit->second.find('.');
    if (dot == std::string::npos || at == fields.end() || !kindOf(word, event.kind)) {
        return false;
    }
    event.atMs = std::atol(at->second.c_str());
    const auto get = [&fields](const char* key) {
        const auto found = fields.find(key);
        return found == fields.end() ? std::string() : found->second;
    };
    event.version = get("version");
    event.reply = get("reply");
    event.record = fields.count("record") != 0 ? std::atol(get("record").c_str()) : -1;
    Unit& u = truth.units[unit->second];
    u.bridge = std::atoi(unit->second.substr(0, dot).c_str());
    u.window = std::atoi(unit->second.substr(dot + 1).c_str());
    u.detachedMs = event.kind == EventKind::Detached ? event.atMs : u.detachedMs;
    u.events.push_back(event);
    return true;
}

} // namespace

bool Unit::touched() const {
    return std::any_of(events.begin(), events.end(), [](const UnitEvent& e) {
        return e.kind == EventKind::Pulse || e.kind == EventKind::PulseIgnored ||
               e.kind == EventKind::Stored;
    });
}

bool Unit::clippedOnUnderReset() const {
    long attachedMs = -1;
    for (const UnitEvent& e : events) {
        attachedMs = e.kind == EventKind::Attached ? e.atMs : attachedMs;
        if (e.kind == EventKind::Held) {
            return e.atMs == attachedMs;
        }
    }
    return false;
}

bool Unit::answerReachedHost(const UnitEvent& event) const {
    return event.kind == EventKind::Answered &&
           (event.reply == "normal" || event.reply == "split") &&
           (detachedMs < 0 || event.atMs < detachedMs);
}

Truth readTruth(const std::string& text) {
    Truth truth;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        std::string word;
        std::map<std::string, std::string> fields = fieldsOf(line, word);
        if (word == "bench" && fields.count("steady_us") != 0) {
            truth.originSteadyUs = std::atoll(fields.at("steady_us").c_str());
        } else if (fields.count("lead") != 0 && fields.count("dtr") != 0) {
            truth.dtr[std::atoi(fields.at("lead").c_str())].emplace_back(
                std::atol(fields["at_ms"].c_str()), fields.at("dtr") == "on");
        } else if (fields.count("lead") != 0 && word == "asked") {
            truth.asked[std::atoi(fields.at("lead").c_str())].push_back(
                std::atol(fields["at_ms"].c_str()));
        } else if (!line.empty() && !readUnitLine(fields, word, truth)) {
            truth.problems.push_back(line);
        }
    }
    for (auto& entry : truth.dtr) {
        std::stable_sort(entry.second.begin(), entry.second.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    for (auto& entry : truth.asked) {
        std::sort(entry.second.begin(), entry.second.end());
    }
    for (auto& entry : truth.units) {
        std::stable_sort(entry.second.events.begin(), entry.second.events.end(),
                         [](const UnitEvent& a, const UnitEvent& b) { return a.atMs < b.atMs; });
    }
    return truth;
}

} // namespace soak
