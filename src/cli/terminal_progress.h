// Progress of a long conversion on the terminal: one line on standard error,
// rewritten in place and cleared at the end. Silent when standard error is not
// a terminal, so scripts see nothing on success but the notes.
#pragma once

#include <string>

#include "base/progress_sink.h"

namespace lum2::cli {

class TerminalProgress : public ProgressSink {
public:
    TerminalProgress();
    ~TerminalProgress() override;

    void SetProgressCaption(const std::string& caption) override;
    void SetProgressRange(int maximum) override;
    void SetProgressValue(int value) override;
    // Printed on standard error, terminal or not.
    void Note(const std::string& text) override;

private:
    bool enabled_;
    bool shown_ = false;
    std::string caption_ = "Progress";
    int maximum_ = 0;
    int lastPercent_ = -1;
};

}  // namespace lum2::cli
