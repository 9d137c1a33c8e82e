#include "shell/command_line.h"

#include <cctype>

namespace lum2 {

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    // The switch is judged on the whole line, so "-s extra" is no switch.
    std::string text;
    for (const auto& word : arguments) {
        if (!text.empty()) text += ' ';
        text += word;
    }
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

    CommandLine line;
    line.text = text;
    if (text == "-s" || text == "-c") {
        line.commandLineMode = true;
        line.switchCharacter = text[1];
    }
    return line;
}

WindowStart ChooseWindowStart(bool hiddenLastTime, bool commandLineMode, bool trayShown) {
    if (!trayShown) return WindowStart::kNormal;
    if (commandLineMode) return WindowStart::kMinimised;
    return hiddenLastTime ? WindowStart::kHiddenInTray : WindowStart::kNormal;
}

}  // namespace lum2
