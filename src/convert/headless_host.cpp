#include "convert/headless_host.h"

#include <cstdio>

#include "base/printable_text.h"
#include "tasks/record_store.h"
#include "tasks/store_layout.h"

namespace lum2 {

int SkipUnanswerable(PromptKind kind, const std::string& question, const std::string& path) {
    const std::string asked =
        kind == PromptKind::kOverwrite ? question + " " + PrintableText(path) : "Both files have been changed!";
    std::fprintf(stderr, "Skipped, as no one can answer here: %s\n", asked.c_str());
    return kAnswerSkip;
}

HeadlessHost::HeadlessHost(RecordStore* store) : store_(store) {}

void HeadlessHost::SetCheckedFromInstall(const std::string& install, int entryCount) {
    checked_.clear();
    for (int entry = 0; entry < entryCount && entry < static_cast<int>(install.size()); ++entry) {
        if (install[entry] == '1') checked_.push_back(entry);
    }
}

void HeadlessHost::SetAskBeforeOverwrite(bool ask) {
    askBeforeOverwrite_ = ask;
    if (store_ != nullptr) {
        TaskRecord settings = store_->GetRecord(kSettingsRecord);
        SetAskOverwrite(settings, ask);
        store_->PutRecord(kSettingsRecord, settings);
    }
}

bool HeadlessHost::AskBeforeOverwrite() {
    if (store_ != nullptr) return lum2::AskOverwrite(store_->GetRecord(kSettingsRecord));
    return askBeforeOverwrite_;
}

int HeadlessHost::AskOverwrite(const std::string& question, const std::string& path) {
    return answerer_ ? answerer_(PromptKind::kOverwrite, question, path) : kAnswerStop;
}

int HeadlessHost::AskBothChanged() { return answerer_ ? answerer_(PromptKind::kBothChanged, "", "") : kAnswerStop; }

}  // namespace lum2
