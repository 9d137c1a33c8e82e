// lum2doc: converts between text files and Palm Doc databases from the
// command line, over the same core as the desktop program.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/printable_text.h"
#include "base/safe_file.h"
#include "cli/command.h"
#include "tasks/record_store.h"

namespace lum2::cli {

namespace {

std::vector<Command> AllCommands() {
    auto commands = DocCommands();
    for (auto& command : TaskCommands()) commands.push_back(std::move(command));
    return commands;
}

void PrintOverview(std::FILE* out, const std::vector<Command>& commands) {
    std::fprintf(out,
                 "usage: lum2doc COMMAND [OPTIONS] ARGUMENTS\n\n"
                 "Converts between text files and Palm Doc e-books (.pdb, type TEXt, creator REAd).\n\n"
                 "Commands:\n");
    for (const auto& command : commands) {
        std::fprintf(out, "  %-8s %s\n", command.name.c_str(), command.summary.c_str());
    }
    std::fprintf(out,
                 "\nRun \"lum2doc COMMAND --help\" for a command's options, \"lum2doc --version\"\n"
                 "for the version.\n"
                 "Exit status: 0 success, 1 the conversion failed (the reason is printed on\n"
                 "standard error), 2 a usage error.\n");
}

}  // namespace

int Fail(const std::string& status) {
    // A failure may name a path, or where a link leads: the file system's bytes.
    std::fprintf(stderr, "%s\n", PrintableText(status).c_str());
    return kExitFailure;
}

int FailOn(const std::string& file, const std::string& status, const std::string& cause) {
    std::string line = "lum2doc: ";
    if (!file.empty()) line += file + ": ";
    line += status;
    // The core names the file in a cause that stands alone; here it leads the line.
    std::string why = cause;
    if (!file.empty() && why.size() > file.size() + 2 && why.compare(0, file.size(), file) == 0 &&
        why.compare(file.size(), 2, ": ") == 0) {
        why.erase(0, file.size() + 2);
    }
    if (!why.empty()) line += " (" + why + ")";
    std::fprintf(stderr, "%s\n", PrintableText(line).c_str());
    return kExitFailure;
}

int FinishOutput(int exitCode) {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    if (flushed && !std::ferror(stdout)) return exitCode;
    // A command that failed has said why already (decode to "-" names the
    // failed write itself); one message is enough.
    if (exitCode != kExitOk) return exitCode;
    // A write that failed before this flush left no errno to tell.
    const int error = flushed ? 0 : errno;
    std::fprintf(stderr, "Error: could not write standard output: %s\n",
                 error != 0 ? std::strerror(error) : "an earlier write failed");
    return kExitFailure;
}

const CodecFunctions* Codec() {
    static CompressionLibrary library;
    static bool tried = false;
    if (!tried) {
        tried = true;
        // Beside the program, then the installed copy; never the working
        // directory, which may be anybody's folder.
        auto folders = CompressionLibrary::DefaultFolders("");
        if (!library.Load(folders)) std::fprintf(stderr, "%s\n", library.Error().c_str());
    }
    return library.IsLoaded() ? &library.Functions() : nullptr;
}

int Main(const std::vector<std::string>& words) {
    const auto commands = AllCommands();
    if (words.empty()) {
        PrintOverview(stderr, commands);
        return kExitUsage;
    }
    if (words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        PrintOverview(stdout, commands);
        return FinishOutput(kExitOk);
    }
    if (words[0] == "--version") {
        std::printf("lum2doc %s\n", LUM2_VERSION);
        return kExitOk;
    }
    for (const auto& command : commands) {
        if (command.name != words[0]) continue;
        try {
            const ParsedArguments args =
                ParseArguments(std::vector<std::string>(words.begin() + 1, words.end()), command.options);
            if (args.help) {
                std::printf("usage: %s\n\n%s\n", command.usage.c_str(), command.help.c_str());
                return FinishOutput(kExitOk);
            }
            return FinishOutput(command.run(args));
        } catch (const UsageError& error) {
            std::fprintf(stderr, "lum2doc %s: %s\nusage: %s\n", command.name.c_str(), error.what(),
                         command.usage.c_str());
            return FinishOutput(kExitUsage);
        } catch (const StoreError& error) {
            // The store's messages are status texts already ("Error: ...").
            return FinishOutput(Fail(error.what()));
        } catch (const std::exception& error) {
            return FinishOutput(Fail(std::string("Error: ") + error.what()));
        }
    }
    std::fprintf(stderr, "lum2doc: unknown command \"%s\"\n", words[0].c_str());
    PrintOverview(stderr, commands);
    return kExitUsage;
}

}  // namespace lum2::cli

int main(int argc, char** argv) {
    // Ctrl-C or a kill leaves no temporary file or spooled input behind.
    lum2::InstallSignalCleanup();
    return lum2::cli::Main(std::vector<std::string>(argv + 1, argv + argc));
}
