// Start-up and shutdown of the desktop program.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

#include "shell/command_line.h"
#include "shell/instance_lock.h"

namespace lum2::shell {

inline constexpr const char* kShortTitle = "LUM2 V1.10";
inline constexpr const char* kFullTitle = "LUM2 V1.10 - text to Palm Doc and back";
inline constexpr const char* kWindowNeedsDisplay =
    "Error: the window needs a display; without one (DISPLAY and WAYLAND_DISPLAY unset) \"lum2 -s\" converts the "
    "task list";

struct StartOptions {
    QStringList arguments;                    // the words after the program's name
    QString baseDirectory;                    // empty: the working directory
    std::vector<std::string> libraryFolders;  // empty: base directory, beside the program, installed
    QString instanceName;                     // empty: one per user
    // A command-line run that no one sees: its prompts are answered Skip, its
    // messages go to standard error instead of boxes no one would close, and
    // its exit status says whether every task was done.
    bool noOneAnswers = false;
};

// What start-up settles before any Qt application exists, so that a copy that
// only hands its switch over, or converts its list without a window, needs no
// display.
struct Preparation {
    CommandLine command;
    std::string baseDirectory;  // ends with a separator
    std::string canonicalBase;  // how later copies name the same task list
    std::string fatal;          // the start cannot go on: the message to show
    int exitCode = -1;          // >= 0: this copy is done and has said why
    std::unique_ptr<InstanceLock> lock;
    std::string socketPath;
};

// The command line, the base directory and one copy per user: a later copy
// hands its switch over to the running one (or is refused when that one keeps
// its task list elsewhere) and ends.
Preparation PrepareStart(const StartOptions& options);

// The rest of the start with a QApplication: the window, the tray, the run
// of a command-line start, the event loop. Returns the exit code.
int RunWithWindow(Preparation& start, const StartOptions& options);

// The rest of the start where there is no display: "-s" converts the list as
// "lum2doc run" does; anything else needs a display and says so.
int RunWithoutDisplay(Preparation& start, const StartOptions& options);

// Both steps, for a caller that has its QApplication already.
int RunLum2(const StartOptions& options);

}  // namespace lum2::shell
