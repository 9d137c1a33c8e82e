// The prompt windows driven as a user would: each test answers the real modal
// prompt from the event loop, then checks what the caller got back. And the
// pictures, which must tell the directions and tray states apart.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "ui/pictures.h"
#include "ui/prompt_dialogs.h"

using namespace lum2::ui;

namespace {

const QString kPcQuestion = QStringLiteral("PC File already exists! Overwrite file?");
const QString kPalmQuestion = QStringLiteral("Palm File already exists! Overwrite file?");
const QString kPath = QStringLiteral("/home/anna/Documents/books/Sherlock Holmes.txt");

// Runs action on the prompt once it is up. A prompt still open three seconds
// later is rejected, so that a failed check inside action fails the test
// instead of hanging it.
void OnPrompt(std::function<void(QDialog*)> action)
{
    auto* poll = new QTimer;
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    QObject::connect(poll, &QTimer::timeout, [poll, waited, action] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        const bool up = dialog != nullptr && dialog->isVisible();
        if (up || waited->elapsed() > 3000) {
            poll->stop();
            poll->deleteLater();
        }
        if (!up) return;
        QTimer::singleShot(3000, dialog, [dialog] {
            if (dialog->isVisible()) {
                qWarning("prompt left open by the test, rejecting it");
                dialog->reject();
            }
        });
        action(dialog);
    });
    poll->start(5);
}

void Click(QDialog* dialog, const char* name)
{
    auto* button = dialog->findChild<QPushButton*>(QLatin1String(name));
    QVERIFY2(button != nullptr, name);
    QTest::mouseClick(button, Qt::LeftButton);
}

// Asks with the overwrite prompt or the both-changed prompt.
int Ask(QWidget* owner, PromptState& state, bool overwrite, std::function<void()> notAskAgain = {})
{
    return overwrite ? AskOverwriteWithDialog(owner, state, kPcQuestion, kPath, std::move(notAskAgain))
                     : AskBothChangedWithDialog(owner, state);
}

template <typename T>
QString Text(const QDialog& dialog, const char* name)
{
    return dialog.findChild<T*>(QLatin1String(name))->text();
}

QStringList Captions(const QDialog& dialog)
{
    QStringList captions;
    for (const QPushButton* button : dialog.findChildren<QPushButton*>()) {
        captions << button->objectName() + QLatin1Char('=') + button->text();
    }
    return captions;
}

// True when more than one pixel in every `of` shows something.
bool Inked(const QPixmap& picture, int of)
{
    const QImage image = picture.toImage();
    int inked = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) inked += qAlpha(image.pixel(x, y)) > 40 ? 1 : 0;
    }
    return inked * of > image.width() * image.height();
}

QImage IconImage(const QIcon& icon, int size)
{
    return icon.pixmap(QSize(size, size), 1.0).toImage();
}

}  // namespace

class PromptDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void closingWithoutButtonAnswersStop_data();
    void closingWithoutButtonAnswersStop();
    void enterAnswersSkip();
    void doNotAskAgainReportsEveryClickAndKeepsAsking();
    void ownerComesForward();
    void texts();
    void multiLineTextsRenderAsLines();
    void pictures();
};

// --- Answers -----------------------------------------------------------------

void PromptDialogsTest::answers_data()
{
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("answer");
    QTest::newRow("overwrite yes") << true << "cmd_yes" << 6;
    QTest::newRow("overwrite skip") << true << "cmd_skip" << 7;
    QTest::newRow("overwrite stop") << true << "cmd_stop" << 3;
    QTest::newRow("both pc file") << false << "cmd_pcfile" << 1;
    QTest::newRow("both palm file") << false << "cmd_palmfile" << 2;
    QTest::newRow("both skip") << false << "cmd_skip" << 7;
    QTest::newRow("both stop") << false << "cmd_stop" << 3;
}

void PromptDialogsTest::answers()
{
    QFETCH(bool, overwrite);
    QFETCH(QString, button);
    QFETCH(int, answer);
    QWidget owner;
    owner.show();
    PromptState state;
    state.answer = 99;
    bool seen = false;
    bool openWhileShown = false;
    int answerWhileShown = 0;
    OnPrompt([&](QDialog* dialog) {
        seen = true;
        openWhileShown = state.open;
        answerWhileShown = state.answer;
        QCOMPARE(dialog->parentWidget(), &owner);
        QVERIFY(dialog->isModal());
        Click(dialog, button.toLatin1().constData());
    });
    QCOMPARE(Ask(&owner, state, overwrite), answer);
    QVERIFY(seen);
    QVERIFY(openWhileShown);
    if (overwrite) QCOMPARE(answerWhileShown, 3);
    QCOMPARE(state.answer, answer);
    QVERIFY(!state.open);
    // One prompt per existing file: they must not pile up under the owner.
    QVERIFY(owner.findChildren<QDialog*>().isEmpty());
}

void PromptDialogsTest::closingWithoutButtonAnswersStop_data()
{
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<int>("how");  // 0 window close, 1 Escape, 2 reject
    for (bool overwrite : {true, false}) {
        const char* name = overwrite ? "overwrite" : "both changed";
        QTest::addRow("%s, window closed", name) << overwrite << 0;
        QTest::addRow("%s, Escape", name) << overwrite << 1;
        QTest::addRow("%s, rejected", name) << overwrite << 2;
    }
}

void PromptDialogsTest::closingWithoutButtonAnswersStop()
{
    QFETCH(bool, overwrite);
    QFETCH(int, how);
    QWidget owner;
    owner.show();
    PromptState state;
    // The answer of an earlier prompt must not leak into this one.
    state.answer = overwrite ? 6 : 1;
    OnPrompt([how](QDialog* dialog) {
        if (how == 0) {
            dialog->close();
        } else if (how == 1) {
            QTest::keyClick(dialog, Qt::Key_Escape);
        } else {
            dialog->reject();
        }
    });
    QCOMPARE(Ask(&owner, state, overwrite), 3);
    QCOMPARE(state.answer, 3);
    QVERIFY(!state.open);
}

void PromptDialogsTest::enterAnswersSkip()
{
    QWidget owner;
    owner.show();
    PromptState state;
    for (bool overwrite : {true, false}) {
        QString focused;
        OnPrompt([&](QDialog* dialog) {
            QWidget* focus = dialog->focusWidget();
            focused = focus != nullptr ? focus->objectName() : QString();
            QTest::keyClick(focus != nullptr ? focus : dialog, Qt::Key_Return);
        });
        QCOMPARE(Ask(&owner, state, overwrite), 7);
        QCOMPARE(focused, QStringLiteral("cmd_skip"));
    }
}

void PromptDialogsTest::doNotAskAgainReportsEveryClickAndKeepsAsking()
{
    QWidget owner;
    owner.show();
    PromptState state;
    int calls = 0;
    QList<int> callsAfterEachClick;
    bool stillOpen = false;
    OnPrompt([&](QDialog* dialog) {
        auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("chk_notaskagain"));
        QVERIFY(box != nullptr);
        QVERIFY(!box->isChecked());
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY(box->isChecked());
        callsAfterEachClick << calls;
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY(!box->isChecked());
        callsAfterEachClick << calls;
        // Let anything queued by the clicks run before looking again.
        QTest::qWait(50);
        stillOpen = dialog->isVisible() && state.open && QApplication::activeModalWidget() == dialog;
        Click(dialog, "cmd_yes");
    });
    QCOMPARE(Ask(&owner, state, true, [&calls] { ++calls; }), 6);
    QCOMPARE(callsAfterEachClick, (QList<int>{1, 2}));
    QVERIFY(stillOpen);
    QCOMPARE(calls, 2);

    // Without a callback the box is still safe to click.
    OnPrompt([](QDialog* dialog) {
        QTest::mouseClick(dialog->findChild<QCheckBox*>(QStringLiteral("chk_notaskagain")), Qt::LeftButton);
        Click(dialog, "cmd_skip");
    });
    QCOMPARE(Ask(&owner, state, true), 7);
}

void PromptDialogsTest::ownerComesForward()
{
    PromptState state;
    for (bool minimised : {false, true}) {
        QWidget owner;
        if (minimised) owner.showMinimized();
        bool shownNormally = false;
        OnPrompt([&](QDialog* dialog) {
            shownNormally = owner.isVisible() && !owner.isMinimized();
            Click(dialog, "cmd_stop");
        });
        Ask(&owner, state, false);
        QVERIFY2(shownNormally, minimised ? "minimised owner" : "hidden owner");
    }
}

// --- Texts ---------------------------------------------------------------------

void PromptDialogsTest::texts()
{
    QWidget owner;
    PromptState state;
    for (const QString& question : {kPcQuestion, kPalmQuestion}) {
        OverwriteDialog dialog(&owner, state, {});
        dialog.ShowFile(question, kPath);
        QCOMPARE(dialog.objectName(), QStringLiteral("frmOvwDialog"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("LUM2 Message"));
        QCOMPARE(Text<QLabel>(dialog, "lbl_message"), question);
        auto* fileName = dialog.findChild<QLineEdit*>(QStringLiteral("txt_filename"));
        QCOMPARE(fileName->text(), kPath);
        QVERIFY(fileName->isReadOnly());
        QCOMPARE(Text<QLabel>(dialog, "lbl_buttons"),
                 QStringLiteral("Yes - overwrite file\r\nSkip - skip task\r\nStop - stop conversion"));
        QCOMPARE(Text<QCheckBox>(dialog, "chk_notaskagain"), QStringLiteral("do not ask again"));
        QCOMPARE(Captions(dialog), (QStringList{"cmd_yes=Yes", "cmd_skip=Skip", "cmd_stop=Stop"}));
        QVERIFY(!dialog.findChild<QLabel*>(QStringLiteral("Image1"))->pixmap().isNull());
    }
    BothChangedDialog dialog(&owner, state);
    QCOMPARE(dialog.objectName(), QStringLiteral("frmBochDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("LUM2 Message"));
    QCOMPARE(Text<QLabel>(dialog, "lbl_message"),
             QStringLiteral("Both files have been changed!\r\nWhich one do you like to be updated?"));
    QCOMPARE(Text<QLabel>(dialog, "lbl_buttons"), QStringLiteral("PC File - update PC File\r\nPalm File - update Palm File\r\n"
                                                                 "Skip - skip task\r\nStop - stop conversion"));
    QCOMPARE(Captions(dialog),
             (QStringList{"cmd_pcfile=PC File", "cmd_palmfile=Palm File", "cmd_skip=Skip", "cmd_stop=Stop"}));
    QVERIFY(dialog.findChild<QLineEdit*>() == nullptr);
    QVERIFY(dialog.findChild<QCheckBox*>() == nullptr);
    QVERIFY(!dialog.findChild<QLabel*>(QStringLiteral("Image1"))->pixmap().isNull());
}

// The texts keep the "\r\n" the program has always used; on screen that must
// be a plain line break, not a stray glyph or a run-on line.
void PromptDialogsTest::multiLineTextsRenderAsLines()
{
    QWidget owner;
    PromptState state;
    OverwriteDialog overwrite(&owner, state, {});
    BothChangedDialog both(&owner, state);
    const struct {
        const QLabel* label;
        int lines;
    } cases[] = {
        {overwrite.findChild<QLabel*>(QStringLiteral("lbl_buttons")), 3},
        {both.findChild<QLabel*>(QStringLiteral("lbl_buttons")), 4},
        {both.findChild<QLabel*>(QStringLiteral("lbl_message")), 2},
    };
    const auto rendered = [](const QString& text, const QLabel& like) {
        QLabel label;
        label.setTextFormat(like.textFormat());
        label.setFont(like.font());
        label.setText(text);
        label.resize(label.sizeHint());
        return label.grab().toImage();
    };
    for (const auto& c : cases) {
        const QString text = c.label->text();
        QCOMPARE(rendered(text, *c.label), rendered(QString(text).replace(QStringLiteral("\r\n"), "\n"), *c.label));
        const int lineSpacing = QFontMetrics(c.label->font()).lineSpacing();
        QVERIFY2(c.label->sizeHint().height() >= c.lines * lineSpacing, qPrintable(text));
        QVERIFY2(c.label->sizeHint().height() < (c.lines + 1) * lineSpacing, qPrintable(text));
    }
}

// --- Pictures ------------------------------------------------------------------

// Every picture shows something and differs from the others of its kind;
// unknown numbers fall back to a known picture.
void PromptDialogsTest::pictures()
{
    for (int size : {16, 24, 48}) {
        QList<QImage> images;
        for (int direction = 1; direction <= 5; ++direction) {
            const QPixmap picture = DirectionPicture(direction, size);
            QCOMPARE(picture.deviceIndependentSize(), QSizeF(size, size));
            // Drawn for the screen's density, not scaled up from a small one.
            QCOMPARE(picture.size(), QSize(size, size) * qApp->devicePixelRatio());
            QVERIFY2(Inked(picture, 20), qPrintable(QString::number(direction)));
            QVERIFY2(!images.contains(picture.toImage()), qPrintable(QString::number(direction)));
            images << picture.toImage();
        }
        for (int unknown : {0, 6, -1}) QCOMPARE(DirectionPicture(unknown, size).toImage(), images[4]);
    }
    QList<QImage> icons;
    for (int direction = 1; direction <= 5; ++direction) {
        const QIcon icon = DirectionIcon(direction);
        QCOMPARE(icon.availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));
        QVERIFY(!icons.contains(IconImage(icon, 16)));
        icons << IconImage(icon, 16);
    }

    const int trayIndexes[] = {1, 2, 9, 10};
    for (int size : {16, 22}) {
        QList<QImage> images;
        for (int index : trayIndexes) {
            const QPixmap picture = TrayPicture(index, size);
            QCOMPARE(picture.deviceIndependentSize(), QSizeF(size, size));
            QVERIFY(Inked(picture, 4));
            QVERIFY2(!images.contains(picture.toImage()), qPrintable(QStringLiteral("tray %1 at %2").arg(index).arg(size)));
            images << picture.toImage();
        }
        for (int unknown : {0, 3, 8, 11}) QCOMPARE(TrayPicture(unknown, size).toImage(), images[0]);
    }
    for (int index : trayIndexes) {
        QVERIFY(TrayIcon(index).availableSizes().contains(QSize(16, 16)));
        QVERIFY(TrayIcon(index).availableSizes().contains(QSize(22, 22)));
    }
    QVERIFY(IconImage(TrayIcon(9), 16) != IconImage(TrayIcon(10), 16));

    const QList<QSize> sizes = ApplicationIcon().availableSizes();
    for (int size : {16, 22, 32, 48, 64, 128, 256}) {
        QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
    }
    const QPixmap question = PromptPicture(40);
    QCOMPARE(question.deviceIndependentSize(), QSizeF(40, 40));
    QVERIFY(Inked(question, 2));
}

QTEST_MAIN(PromptDialogsTest)
#include "prompt_dialogs_test.moc"
