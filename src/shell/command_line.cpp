#include "shell/command_line.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/printable_text.h"

namespace lum2 {

namespace {

constexpr const char* kBaseDirOption = "--base-dir";

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word == "--help") {
            line.help = true;
        } else if (word == "--version") {
            line.version = true;
        } else if (word == "--menu") {
            line.menuStart = true;
        } else if (word == kBaseDirOption) {
            if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
                line.error = "--base-dir needs a folder";
            } else {
                line.baseDirectory = arguments[++i];
            }
        } else if (word.rfind(std::string(kBaseDirOption) + "=", 0) == 0) {
            line.baseDirectory = word.substr(std::strlen(kBaseDirOption) + 1);
            if (line.baseDirectory.empty()) line.error = "--base-dir needs a folder";
        } else {
            rest.push_back(word);
        }
    }
    if (line.menuStart && !line.baseDirectory.empty()) line.error = "--menu and --base-dir exclude each other";

    // The switch is judged on the whole line, so "-s extra" is no switch.
    std::string text;
    for (const auto& word : rest) {
        if (!text.empty()) text += ' ';
        text += word;
    }
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

    line.text = text;
    if (text == "-s" || text == "-c") {
        line.commandLineMode = true;
        line.switchCharacter = text[1];
    } else {
        for (const auto& word : rest) line.ignored += (line.ignored.empty() ? "" : " ") + word;
    }
    return line;
}

std::string CommandLineHelp() {
    return "usage: lum2 [--base-dir DIR | --menu] [-s | -c]\n"
           "\n"
           "Converts between text files and Palm Doc e-books (.pdb). The task list,\n"
           "lumdata.dat, lives in the base directory: the working directory unless\n"
           "--base-dir or --menu names another.\n"
           "\n"
           "  -s              convert the task list and end (a LUM2 already running on\n"
           "                  the same task list converts it instead); without a display\n"
           "                  the list runs without a window\n"
           "  -c              convert the clipboard and end (likewise; needs a display)\n"
           "  --base-dir DIR  keep the task list in DIR (created with mode 0700 when missing)\n"
           "  --menu          keep the task list in $XDG_DATA_HOME/lum2 (by default\n"
           "                  ~/.local/share/lum2), as the application menu's start does\n"
           "  --version       print the version and end\n"
           "  --help          print this help and end\n";
}

int AnswerOnTerminal(const CommandLine& line, const char* version) {
    if (line.help) {
        std::fputs(CommandLineHelp().c_str(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("lum2 %s\n", version);
        return 0;
    }
    if (!line.error.empty()) {
        std::fprintf(stderr, "lum2: %s\nRun \"lum2 --help\" for the options.\n", line.error.c_str());
        return 2;
    }
    if (!line.ignored.empty()) {
        std::fprintf(stderr, "lum2: ignored \"%s\": neither an option nor -s or -c; starting without it\n",
                     PrintableText(line.ignored).c_str());
    }
    return -1;
}

std::string MenuBaseDirectory(const std::string& xdgDataHome, const std::string& home) {
    // A relative XDG_DATA_HOME is invalid and ignored, as the XDG base
    // directory rules ask.
    std::string data = xdgDataHome;
    if (data.empty() || data.front() != '/') data = home + "/.local/share";
    while (data.size() > 1 && data.back() == '/') data.pop_back();
    return data + "/lum2";
}

bool DisplayNamed(const char* display, const char* waylandDisplay, const char* platform) {
    for (const char* value : {display, waylandDisplay, platform}) {
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

bool PlatformUnseen(const std::string& platformName) {
    return platformName == "offscreen" || platformName == "minimal";
}

WindowStart ChooseWindowStart(bool hiddenLastTime, bool commandLineMode, bool trayShown) {
    if (!trayShown) return WindowStart::kNormal;
    if (commandLineMode) return WindowStart::kMinimised;
    return hiddenLastTime ? WindowStart::kHiddenInTray : WindowStart::kNormal;
}

}  // namespace lum2
