// The commands of lum2doc and what they share.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "doc/compression_library.h"

namespace lum2::cli {

enum ExitCode { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

struct Command {
    std::string name;
    std::string summary;  // one line for the overview
    std::string usage;    // "lum2doc encode [OPTIONS] INPUT OUTPUT.pdb"
    std::string help;     // the options and what they do
    OptionSpec options;
    std::function<int(const ParsedArguments&)> run;
};

std::vector<Command> DocCommands();
std::vector<Command> TaskCommands();

// The compression library, loaded on first use; prints the error and returns
// nullptr when it cannot be loaded.
const CodecFunctions* Codec();

// Prints a failure's status text on standard error, control characters escaped;
// returns kExitFailure.
int Fail(const std::string& status);

// Prints the failure of a command on a file on standard error as one line,
// "lum2doc: FILE: STATUS (CAUSE)", escaped: file the one concerned (none when
// empty), status as the store and the window show it, cause in plain words
// (left out when empty; a cause that begins with the file's own name loses
// it). Returns kExitFailure.
int FailOn(const std::string& file, const std::string& status, const std::string& cause = {});

// The end of every command: flushes standard output and turns a failed write
// of it (a full disk, a closed pipe) into a failure with its cause.
int FinishOutput(int exitCode);

}  // namespace lum2::cli
