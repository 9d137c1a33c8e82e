// The conversion host of the desktop program: the install list's check
// states, the "Ask Overwirte" box, the prompt windows, the progress display
// and the tray picture, with pending window events let run between steps.
#pragma once

#include <QElapsedTimer>

#include "convert/conversion_host.h"

namespace lum2::ui {

class MainWindow;

class GuiHost : public ConversionHost {
public:
    explicit GuiHost(MainWindow& window) : window_(window) {}

    std::vector<int> CheckedTargets() override;
    bool AskBeforeOverwrite() override;
    int AskOverwrite(const std::string& question, const std::string& path) override;
    int AskBothChanged() override;

    void ShowProgressDisplay(bool visible) override;
    void SetProgressCaption(const std::string& caption) override;
    void SetProgressRange(int maximum) override;
    void SetProgressValue(int value) override;
    void SetTrayIcon(TrayPicture picture, const std::string& tip) override;
    void LetEventsRun() override;

    // Set by the shell for a command-line run that no one sees (an offscreen
    // or minimal platform): a prompt there would wait for ever, so each is
    // answered Skip instead of shown.
    void SetNoOneAnswers(bool on) { noOneAnswers_ = on; }

private:
    MainWindow& window_;
    bool noOneAnswers_ = false;
    QElapsedTimer sinceEvents_;
    QElapsedTimer sinceProgress_;
};

}  // namespace lum2::ui
