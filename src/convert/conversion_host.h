// What the converters need from the program around them.
//
// The desktop program implements it with its widgets (install list, prompt
// windows, progress display, tray); lum2doc and the tests implement it without
// a screen. One conversion therefore behaves the same everywhere.
#pragma once

#include <string>
#include <vector>

#include "base/progress_sink.h"

namespace lum2 {

// Answers of the prompts.
enum PromptAnswer : int {
    kAnswerUpdatePcFile = 1,
    kAnswerUpdatePalmFile = 2,
    kAnswerStop = 3,
    kAnswerYes = 6,
    kAnswerSkip = 7,
};

class ConversionHost : public ProgressSink {
public:
    // Indexes of the checked entries of the install target list, ascending.
    virtual std::vector<int> CheckedTargets() = 0;
    // Ask before overwriting an existing file: read anew for every file, since
    // a prompt's "do not ask again" clears it in the middle of a conversion.
    virtual bool AskBeforeOverwrite() = 0;
    // Shows the overwrite prompt for path; returns kAnswerYes, kAnswerSkip or
    // kAnswerStop (also when the prompt is closed otherwise). "do not ask
    // again" in the prompt clears ask-before-overwrite and its stored setting.
    virtual int AskOverwrite(const std::string& question, const std::string& path) = 0;
    // Shows the both-files-changed prompt; returns kAnswerUpdatePcFile,
    // kAnswerUpdatePalmFile, kAnswerSkip or kAnswerStop.
    virtual int AskBothChanged() = 0;

    // Set around the one conversion a user chose in the both-files-changed
    // prompt, and by the clipboard conversion: existing files are replaced
    // without asking.
    bool overwritePromptSuppressed = false;
    // Set by a Stop answer or the run button; the batch run ends after the
    // current task and clears it.
    bool stopRequested = false;
};

}  // namespace lum2
