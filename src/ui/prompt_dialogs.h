// The two prompt windows a conversion may open: "overwrite an existing
// file?" and "both files have been changed, which one to update?".
//
// Closing a prompt any other way than with one of its buttons (the window's
// close button, Escape) answers Stop: a prompt the user walked away from must
// not touch a file. Enter presses the focused button, and the focus starts on
// Skip, so that a stray Enter neither overwrites a file nor ends the run.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>

class QBoxLayout;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lum2::ui {

// Shared by the whole program: the answer of the last prompt, and whether a
// prompt is open (the tray ignores clicks meanwhile).
struct PromptState {
    int answer = 3;
    bool open = false;
};

// What is common to both prompts: the picture, the frame, the bold message,
// the button legend and the row of answer buttons.
class PromptDialog : public QDialog {
    Q_OBJECT

public:
    ~PromptDialog() override;

    void done(int result) override;

protected:
    // Sets the answer to Stop and marks a prompt open.
    PromptDialog(QWidget* owner, PromptState& state);

    void SetMessage(const QString& message);
    void SetLegend(const QStringList& lines);
    // Each button stores its answer and closes the prompt.
    QPushButton* AddAnswerButton(const QString& objectName, const QString& caption, int answer);
    // The column beside the picture, for what sits between message and legend.
    QBoxLayout* Body() const { return body_; }
    // The row of the buttons, for what sits on their left.
    QBoxLayout* ButtonRow() const { return buttons_; }

    void showEvent(QShowEvent* event) override;

private:
    PromptState& state_;
    QLabel* message_ = nullptr;
    QLabel* legend_ = nullptr;
    QBoxLayout* body_ = nullptr;
    QBoxLayout* buttons_ = nullptr;
    QPushButton* firstFocus_ = nullptr;
};

class OverwriteDialog : public PromptDialog {
    Q_OBJECT

public:
    // onDoNotAskAgain runs on every click of "do not ask again", ticking and
    // unticking alike; the prompt stays open and still wants an answer.
    OverwriteDialog(QWidget* owner, PromptState& state, std::function<void()> onDoNotAskAgain);

    // question: "PC File already exists! Overwrite file?" or the Palm one.
    void ShowFile(const QString& question, const QString& path);

private:
    QLineEdit* fileName_ = nullptr;
    QCheckBox* doNotAskAgain_ = nullptr;
    std::function<void()> onDoNotAskAgain_;
};

class BothChangedDialog : public PromptDialog {
    Q_OBJECT

public:
    BothChangedDialog(QWidget* owner, PromptState& state);
};

// Bring the owner forward, ask modally and return the answer: 6 Yes, 7 Skip
// or 3 Stop.
int AskOverwriteWithDialog(QWidget* owner, PromptState& state, const QString& question, const QString& path,
                           std::function<void()> onDoNotAskAgain);
// Returns 1 update the PC File, 2 update the Palm File, 7 Skip or 3 Stop.
int AskBothChangedWithDialog(QWidget* owner, PromptState& state);

}  // namespace lum2::ui
