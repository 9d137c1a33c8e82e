#include "ui/prompt_dialogs.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <algorithm>
#include <utility>

#include "ui/pictures.h"

namespace lum2::ui {
namespace {

constexpr int kStop = 3;
constexpr int kYes = 6;
constexpr int kSkip = 7;
constexpr int kUpdatePcFile = 1;
constexpr int kUpdatePalmFile = 2;

constexpr int kPictureSize = 40;

// Between the text colour and the background: the legend explains, the
// message asks, and the eye should land on the message first.
QColor Muted(const QPalette& palette) {
    const QColor text = palette.color(QPalette::WindowText);
    const QColor back = palette.color(QPalette::Base);
    return QColor((text.red() * 2 + back.red()) / 3, (text.green() * 2 + back.green()) / 3,
                  (text.blue() * 2 + back.blue()) / 3);
}

// A prompt can come while the main window sits minimised or hidden in the
// tray; the user must see whose question it is.
void BringForward(QWidget* owner) {
    if (owner == nullptr) {
        return;
    }
    QWidget* window = owner->window();
    if (!window->isVisible() || window->isMinimized()) {
        window->showNormal();
        window->raise();
        window->activateWindow();
    }
}

// The dialog may die with its owner while it waits, so it is held by a
// QPointer; the open flag is cleared whatever way the prompt ended.
int Run(PromptDialog* created, PromptState& state) {
    QPointer<PromptDialog> dialog(created);
    dialog->exec();
    delete dialog.data();
    state.open = false;
    return state.answer;
}

}  // namespace

PromptDialog::PromptDialog(QWidget* owner, PromptState& state) : QDialog(owner), state_(state) {
    state_.answer = kStop;
    state_.open = true;

    setWindowTitle(QStringLiteral("LUM2 Message"));
    setWindowModality(Qt::ApplicationModal);
    setWindowIcon(ApplicationIcon());

    // The upper part sits on the base colour, the buttons below it on the
    // window colour, so the question and the answers read as two places.
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("shp_conr"));
    frame->setFrameShape(QFrame::NoFrame);
    frame->setBackgroundRole(QPalette::Base);
    frame->setAutoFillBackground(true);

    auto* picture = new QLabel(frame);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setPixmap(PromptPicture(kPictureSize));
    picture->setFixedSize(kPictureSize, kPictureSize);

    message_ = new QLabel(frame);
    message_->setObjectName(QStringLiteral("lbl_message"));
    message_->setTextFormat(Qt::PlainText);
    QFont bold = message_->font();
    bold.setBold(true);
    message_->setFont(bold);

    legend_ = new QLabel(frame);
    legend_->setObjectName(QStringLiteral("lbl_buttons"));
    legend_->setTextFormat(Qt::PlainText);
    QPalette legendPalette = legend_->palette();
    legendPalette.setColor(QPalette::WindowText, Muted(legendPalette));
    legend_->setPalette(legendPalette);

    body_ = new QVBoxLayout;
    body_->setSpacing(10);
    body_->addWidget(message_);
    body_->addWidget(legend_);

    auto* upper = new QHBoxLayout(frame);
    upper->setContentsMargins(18, 18, 22, 16);
    upper->setSpacing(16);
    upper->addWidget(picture, 0, Qt::AlignTop);
    upper->addLayout(body_, 1);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);

    buttons_ = new QHBoxLayout;
    buttons_->setContentsMargins(14, 10, 14, 12);
    buttons_->setSpacing(8);
    buttons_->addStretch(1);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addWidget(frame);
    root->addWidget(line);
    root->addLayout(buttons_);
    // The prompt is as large as its content and no larger.
    root->setSizeConstraint(QLayout::SetFixedSize);
}

PromptDialog::~PromptDialog() { state_.open = false; }

void PromptDialog::done(int result) {
    state_.open = false;
    QDialog::done(result);
}

void PromptDialog::SetMessage(const QString& message) { message_->setText(message); }

void PromptDialog::SetLegend(const QStringList& lines) { legend_->setText(lines.join(QStringLiteral("\r\n"))); }

QPushButton* PromptDialog::AddAnswerButton(const QString& objectName, const QString& caption, int answer) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(objectName);
    connect(button, &QPushButton::clicked, this, [this, answer] {
        state_.answer = answer;
        done(answer);
    });
    // Skip leaves every file as it is and lets the run go on: the one answer
    // a stray Enter may give.
    if (answer == kSkip) {
        button->setDefault(true);
        firstFocus_ = button;
    }
    buttons_->addWidget(button);
    return button;
}

void PromptDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (firstFocus_ != nullptr) {
        firstFocus_->setFocus(Qt::OtherFocusReason);
    }
}

OverwriteDialog::OverwriteDialog(QWidget* owner, PromptState& state, std::function<void()> onDoNotAskAgain)
    : PromptDialog(owner, state), onDoNotAskAgain_(std::move(onDoNotAskAgain)) {
    setObjectName(QStringLiteral("frmOvwDialog"));

    fileName_ = new QLineEdit(this);
    fileName_->setObjectName(QStringLiteral("txt_filename"));
    fileName_->setReadOnly(true);
    // Read-only shows as a field on the window colour, not as one to type in.
    QPalette fieldPalette = fileName_->palette();
    fieldPalette.setColor(QPalette::Base, fieldPalette.color(QPalette::Window));
    fileName_->setPalette(fieldPalette);
    Body()->insertWidget(1, fileName_);

    SetLegend({QStringLiteral("Yes - overwrite file"), QStringLiteral("Skip - skip task"),
               QStringLiteral("Stop - stop conversion")});

    doNotAskAgain_ = new QCheckBox(QStringLiteral("do not ask again"), this);
    doNotAskAgain_->setObjectName(QStringLiteral("chk_notaskagain"));
    // clicked, not toggled: only the user's clicks count, and both directions.
    connect(doNotAskAgain_, &QCheckBox::clicked, this, [this] {
        if (onDoNotAskAgain_) {
            onDoNotAskAgain_();
        }
    });
    ButtonRow()->insertWidget(0, doNotAskAgain_);
    ButtonRow()->insertSpacing(1, 24);

    AddAnswerButton(QStringLiteral("cmd_yes"), QStringLiteral("Yes"), kYes);
    AddAnswerButton(QStringLiteral("cmd_skip"), QStringLiteral("Skip"), kSkip);
    AddAnswerButton(QStringLiteral("cmd_stop"), QStringLiteral("Stop"), kStop);
}

void OverwriteDialog::ShowFile(const QString& question, const QString& path) {
    SetMessage(question);
    fileName_->setText(path);
    fileName_->setToolTip(path);
    // Wide enough for a usual path; a longer one shows its end, where the
    // file's own name is.
    const QFontMetrics metrics(fileName_->font());
    const int wanted = metrics.horizontalAdvance(path) + 4 * metrics.averageCharWidth();
    fileName_->setMinimumWidth(std::clamp(wanted, 340, 560));
    fileName_->end(false);
}

BothChangedDialog::BothChangedDialog(QWidget* owner, PromptState& state) : PromptDialog(owner, state) {
    setObjectName(QStringLiteral("frmBochDialog"));
    SetMessage(QStringLiteral("Both files have been changed!\r\nWhich one do you like to be updated?"));
    SetLegend({QStringLiteral("PC File - update PC File"), QStringLiteral("Palm File - update Palm File"),
               QStringLiteral("Skip - skip task"), QStringLiteral("Stop - stop conversion")});
    AddAnswerButton(QStringLiteral("cmd_pcfile"), QStringLiteral("PC File"), kUpdatePcFile);
    AddAnswerButton(QStringLiteral("cmd_palmfile"), QStringLiteral("Palm File"), kUpdatePalmFile);
    AddAnswerButton(QStringLiteral("cmd_skip"), QStringLiteral("Skip"), kSkip);
    AddAnswerButton(QStringLiteral("cmd_stop"), QStringLiteral("Stop"), kStop);
}

int AskOverwriteWithDialog(QWidget* owner, PromptState& state, const QString& question, const QString& path,
                           std::function<void()> onDoNotAskAgain) {
    BringForward(owner);
    auto* dialog = new OverwriteDialog(owner, state, std::move(onDoNotAskAgain));
    dialog->ShowFile(question, path);
    return Run(dialog, state);
}

int AskBothChangedWithDialog(QWidget* owner, PromptState& state) {
    BringForward(owner);
    return Run(new BothChangedDialog(owner, state), state);
}

}  // namespace lum2::ui
