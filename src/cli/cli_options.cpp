#include "cli/cli_options.h"

#include <cerrno>
#include <cstdlib>

namespace lum2::cli {

int ParsedArguments::IntValue(const std::string& option, int low, int high, int fallback) const {
    const auto it = values.find(option);
    if (it == values.end()) return fallback;
    const std::string& text = it->second;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high) {
        throw UsageError(option + " takes a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                         ", not \"" + text + "\"");
    }
    return static_cast<int>(value);
}

std::string ParsedArguments::TextValue(const std::string& option, const std::string& fallback) const {
    const auto it = values.find(option);
    return it == values.end() ? fallback : it->second;
}

ParsedArguments ParseArguments(const std::vector<std::string>& args, const OptionSpec& spec) {
    ParsedArguments parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (optionsEnded || word == "-" || word.empty() || word[0] != '-') {
            parsed.positionals.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word == "--help" || word == "-h") {
            parsed.help = true;
            continue;
        }
        // "--tabs=8" as well as "--tabs 8".
        const auto equals = word.find('=');
        const std::string name = word.substr(0, equals);
        if (spec.valueOptions.count(name) != 0) {
            if (equals != std::string::npos) {
                parsed.values[name] = word.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                parsed.values[name] = args[++i];
            } else {
                throw UsageError(name + " needs a value");
            }
        } else if (spec.flags.count(word) != 0) {
            parsed.flags.insert(word);
        } else {
            throw UsageError("unknown option " + word);
        }
    }
    return parsed;
}

}  // namespace lum2::cli
