// The conversion host without a screen, for lum2doc and the tests: the
// checked targets come from a task's install text, ask-before-overwrite from
// the settings record, and prompts go to an answering function.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "convert/conversion_host.h"

namespace lum2 {

class RecordStore;

enum class PromptKind { kOverwrite, kBothChanged };

// The answer where no one can answer (a command-line run of the desktop
// program that no one sees): Skip, which touches no file and lets the run go
// on. It is said on standard error, since nothing else tells of it.
int SkipUnanswerable(PromptKind kind, const std::string& question, const std::string& path);

class HeadlessHost : public ConversionHost {
public:
    // Answers a prompt; the default answers Stop, as a closed prompt does.
    using Answerer = std::function<int(PromptKind kind, const std::string& question, const std::string& path)>;

    // With a store, ask-before-overwrite is the settings record's "Ask
    // Overwrite" and "do not ask again" clears it there; without one it is a
    // plain flag. Reading or writing the store throws its StoreError.
    explicit HeadlessHost(RecordStore* store = nullptr);

    // Checks the entries whose character in install is "1" (entry k at
    // position k + 1), among the first entryCount entries.
    void SetCheckedFromInstall(const std::string& install, int entryCount);
    void SetChecked(std::vector<int> entries) { checked_ = std::move(entries); }
    void SetAnswerer(Answerer answerer) { answerer_ = std::move(answerer); }
    void SetAskBeforeOverwrite(bool ask);
    // What "do not ask again" does: clears ask-before-overwrite for good.
    void ClearAskBeforeOverwrite() { SetAskBeforeOverwrite(false); }

    std::vector<int> CheckedTargets() override { return checked_; }
    bool AskBeforeOverwrite() override;
    int AskOverwrite(const std::string& question, const std::string& path) override;
    int AskBothChanged() override;

private:
    RecordStore* store_;
    bool askBeforeOverwrite_ = true;
    std::vector<int> checked_;
    Answerer answerer_;
};

}  // namespace lum2
