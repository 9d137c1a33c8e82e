// The program's command line: "-s" converts the task list and "-c" the
// clipboard, then the program ends; anything else starts it normally.
#pragma once

#include <string>
#include <vector>

namespace lum2 {

struct CommandLine {
    std::string text;          // the whole command line, trimmed and lower-cased
    bool commandLineMode = false;
    char switchCharacter = 0;  // 's' or 'c' in command-line mode
};

// arguments: the words after the program's name.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

enum class WindowStart { kHiddenInTray, kMinimised, kNormal };

// How the window starts: hidden in the tray when it was hidden there last;
// minimised for a command-line run; without a tray icon always normal, so the
// window can be found.
WindowStart ChooseWindowStart(bool hiddenLastTime, bool commandLineMode, bool trayShown);

}  // namespace lum2
