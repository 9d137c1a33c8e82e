// The program's command line: "-s" converts the task list and "-c" the
// clipboard, then the program ends; anything else starts it normally. Around
// them: where the task list lives (--base-dir DIR, --menu), --help and
// --version.
#pragma once

#include <string>
#include <vector>

namespace lum2 {

struct CommandLine {
    std::string text;  // the rest of the line, trimmed and lower-cased
    bool commandLineMode = false;
    char switchCharacter = 0;  // 's' or 'c' in command-line mode

    std::string baseDirectory;  // --base-dir DIR, as given
    bool menuStart = false;     // --menu: the base directory in the user's data folder
    bool help = false;
    bool version = false;
    std::string error;  // a usage error: the program prints it and ends
    // Words that are neither a start option nor a switch, as given: the
    // program starts as without them and says which it ignored.
    std::string ignored;
};

// arguments: the words after the program's name. The start options are taken
// off first; the switch is judged on what is left, as a whole.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// What "lum2 --help" prints.
std::string CommandLineHelp();

// Answers --help, --version and a usage error on the terminal; returns the
// exit code then, or -1 when the program is to start (after saying on
// standard error which words it ignores, if any).
int AnswerOnTerminal(const CommandLine& line, const char* version);

// The folder a menu start keeps its task list in: $XDG_DATA_HOME/lum2, or
// $HOME/.local/share/lum2 when XDG_DATA_HOME is unset or not an absolute path.
std::string MenuBaseDirectory(const std::string& xdgDataHome, const std::string& home);

bool DisplayNamed(const char* display, const char* waylandDisplay, const char* platform);

// A Qt platform that draws nowhere: a window there is seen by no one, so no
// one answers its prompts and message boxes.
bool PlatformUnseen(const std::string& platformName);

enum class WindowStart { kHiddenInTray, kMinimised, kNormal };

// How the window starts: hidden in the tray when it was hidden last;
// minimised for a command-line run; without a tray icon always normal, so the
// window can be found.
WindowStart ChooseWindowStart(bool hiddenLastTime, bool commandLineMode, bool trayShown);

}  // namespace lum2
