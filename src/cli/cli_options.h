// Command-line parsing for lum2doc: flags, options with an integer value, and
// positional arguments, with clear usage errors.
#pragma once

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace lum2::cli {

// A usage error: lum2doc prints it with the command's usage line and exits 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct OptionSpec {
    std::set<std::string> flags;         // "--compress"
    std::set<std::string> valueOptions;  // "--tabs", takes the next argument
};

struct ParsedArguments {
    std::set<std::string> flags;
    std::map<std::string, std::string> values;
    std::vector<std::string> positionals;
    bool help = false;

    bool Has(const std::string& flag) const { return flags.count(flag) != 0; }
    // The value of option as a whole number in [low, high]; fallback when absent.
    int IntValue(const std::string& option, int low, int high, int fallback) const;
    std::string TextValue(const std::string& option, const std::string& fallback = "") const;
};

// Parses args (the words after the command). "-" alone is a positional (standard
// input or output); "--" ends the options. Throws UsageError.
ParsedArguments ParseArguments(const std::vector<std::string>& args, const OptionSpec& spec);

}  // namespace lum2::cli
