#include "ui/gui_host.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>

#include "convert/headless_host.h"
#include "ui/main_window.h"

namespace lum2::ui {

std::vector<int> GuiHost::CheckedTargets() {
    std::vector<int> checked;
    for (int i = 0; i < window_.lst_install->count(); ++i) {
        if (window_.lst_install->item(i)->checkState() == Qt::Checked) checked.push_back(i);
    }
    return checked;
}

bool GuiHost::AskBeforeOverwrite() { return window_.chk_askoverwrite->checkState() != Qt::Unchecked; }

int GuiHost::AskOverwrite(const std::string& question, const std::string& path) {
    if (noOneAnswers_) return SkipUnanswerable(PromptKind::kOverwrite, question, path);
    return AskOverwriteWithDialog(&window_, window_.prompts_, QString::fromStdString(question), Shown(path), [this] {
        // "do not ask again": the box's own handler stores the setting.
        window_.chk_askoverwrite->setChecked(false);
        window_.chk_askoverwrite_Click();
    });
}

int GuiHost::AskBothChanged() {
    if (noOneAnswers_) return SkipUnanswerable(PromptKind::kBothChanged, "", "");
    return AskBothChangedWithDialog(&window_, window_.prompts_);
}

void GuiHost::ShowProgressDisplay(bool visible) {
    window_.lbl_status->setVisible(!visible);
    window_.txt_status->setVisible(!visible);
    window_.lbl_progress->setVisible(visible);
    window_.ProgressBar1->setVisible(visible);
}

void GuiHost::SetProgressCaption(const std::string& caption) {
    window_.lbl_progress->setText(QString::fromStdString(caption));
}

void GuiHost::SetProgressRange(int maximum) { window_.ProgressBar1->setRange(0, maximum); }

void GuiHost::SetProgressValue(int value) {
    // A bar moved for every record repaints itself thousands of times a
    // second, on the thread that also compresses; a person sees no more than
    // a few dozen steps a second. The start, the first step and the end
    // always show.
    constexpr qint64 kStepMs = 20;
    QProgressBar* bar = window_.ProgressBar1;
    if (value != bar->minimum() && value != bar->maximum() && bar->value() > bar->minimum() &&
        sinceProgress_.isValid() && sinceProgress_.elapsed() < kStepMs) {
        return;
    }
    bar->setValue(value);
    sinceProgress_.start();
}

void GuiHost::SetTrayIcon(TrayPicture picture, const std::string& tip) {
    window_.SetTrayIcon(picture, QString::fromStdString(tip));
}

void GuiHost::LetEventsRun() {
    // Converters ask for every record, thousands of times a second; a few
    // milliseconds between turns keep the window as lively at a fraction of
    // the cost, which would otherwise slow a conversion by a third.
    constexpr qint64 kTurnMs = 4;
    if (sinceEvents_.isValid() && sinceEvents_.elapsed() < kTurnMs) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    sinceEvents_.start();
}

}  // namespace lum2::ui
