// The conversion host of "lum2doc run": prompts answered by --answer, or asked
// on the terminal, or (with neither) answered Skip.
#pragma once

#include <optional>
#include <string>

#include "cli/terminal_progress.h"
#include "convert/headless_host.h"

namespace lum2::cli {

class TerminalHost : public HeadlessHost {
public:
    // fixedAnswer: "yes", "skip" or "stop" answers every prompt; empty asks
    // on the terminal when there is one.
    TerminalHost(RecordStore& store, std::string fixedAnswer);

    void SetProgressCaption(const std::string& caption) override { progress_.SetProgressCaption(caption); }
    void SetProgressRange(int maximum) override { progress_.SetProgressRange(maximum); }
    void SetProgressValue(int value) override { progress_.SetProgressValue(value); }
    void Note(const std::string& text) override { progress_.Note(text); }
    void ReportFailureCause(const std::string& cause) override { progress_.Note(cause); }

private:
    int Answer(PromptKind kind, const std::string& question, const std::string& path);
    int AskOnTerminal(PromptKind kind, const std::string& question, const std::string& path);

    std::string fixedAnswer_;
    TerminalProgress progress_;
};

}  // namespace lum2::cli
