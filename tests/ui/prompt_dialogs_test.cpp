// The prompt windows driven as a user would: each test answers the real modal
// prompt from the event loop, then checks what the caller got back. And the
// pictures, which must tell the directions and tray states apart.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
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
        if (dialog == nullptr || !dialog->isVisible()) {
            if (waited->elapsed() > 3000) {
                poll->deleteLater();
                poll->stop();
            }
            return;
        }
        poll->stop();
        poll->deleteLater();
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

QStringList Captions(const QDialog& dialog)
{
    QStringList captions;
    for (const QPushButton* button : dialog.findChildren<QPushButton*>()) {
        captions << button->objectName() + QLatin1Char('=') + button->text();
    }
    return captions;
}

// What a user sees of a label: its size and its pixels.
QImage Rendered(const QString& text, const QLabel& like)
{
    QLabel label;
    label.setTextFormat(like.textFormat());
    label.setFont(like.font());
    label.setText(text);
    label.resize(label.sizeHint());
    return label.grab().toImage();
}

int InkedPixels(const QImage& image)
{
    int inked = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            inked += qAlpha(image.pixel(x, y)) > 40 ? 1 : 0;
        }
    }
    return inked;
}

// What an icon shows at size on a plain screen.
QImage IconImage(const QIcon& icon, int size)
{
    return icon.pixmap(QSize(size, size), 1.0).toImage();
}

// Icons hold pictures drawn at ratio 1; on a plain screen they must be the
// very pictures DirectionPicture and TrayPicture give.
bool PlainScreen()
{
    return qApp->devicePixelRatio() == 1.0;
}

}  // namespace

class PromptDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void overwriteAnswers_data();
    void overwriteAnswers();
    void bothChangedAnswers_data();
    void bothChangedAnswers();
    void closingWithoutButtonAnswersStop_data();
    void closingWithoutButtonAnswersStop();
    void enterAnswersSkip();
    void doNotAskAgainReportsEveryClickAndKeepsAsking();
    void ownerComesForward();
    void overwriteTexts();
    void bothChangedTexts();
    void multiLineTextsRenderAsLines();

    void directionPictures_data();
    void directionPictures();
    void directionIconSizes();
    void trayPictures();
    void applicationAndPromptPictures();
};

// --- Answers -----------------------------------------------------------------

void PromptDialogsTest::overwriteAnswers_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("answer");
    QTest::newRow("yes") << "cmd_yes" << 6;
    QTest::newRow("skip") << "cmd_skip" << 7;
    QTest::newRow("stop") << "cmd_stop" << 3;
}

void PromptDialogsTest::overwriteAnswers()
{
    QFETCH(QString, button);
    QFETCH(int, answer);
    QWidget owner;
    owner.show();
    PromptState state;
    state.answer = 99;
    bool openWhileShown = false;
    QDialog* seen = nullptr;
    OnPrompt([&](QDialog* dialog) {
        seen = dialog;
        openWhileShown = state.open;
        QCOMPARE(state.answer, 3);
        QCOMPARE(dialog->parentWidget(), &owner);
        QVERIFY(dialog->isModal());
        Click(dialog, button.toLatin1().constData());
    });
    const int got = AskOverwriteWithDialog(&owner, state, kPcQuestion, kPath, {});
    QVERIFY(seen != nullptr);
    QVERIFY(openWhileShown);
    QCOMPARE(got, answer);
    QCOMPARE(state.answer, answer);
    QVERIFY(!state.open);
    // One prompt per existing file: they must not pile up under the owner.
    QVERIFY(owner.findChildren<QDialog*>().isEmpty());
}

void PromptDialogsTest::bothChangedAnswers_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("answer");
    QTest::newRow("pc file") << "cmd_pcfile" << 1;
    QTest::newRow("palm file") << "cmd_palmfile" << 2;
    QTest::newRow("skip") << "cmd_skip" << 7;
    QTest::newRow("stop") << "cmd_stop" << 3;
}

void PromptDialogsTest::bothChangedAnswers()
{
    QFETCH(QString, button);
    QFETCH(int, answer);
    QWidget owner;
    owner.show();
    PromptState state;
    bool openWhileShown = false;
    OnPrompt([&](QDialog* dialog) {
        openWhileShown = state.open;
        QCOMPARE(dialog->parentWidget(), &owner);
        Click(dialog, button.toLatin1().constData());
    });
    QCOMPARE(AskBothChangedWithDialog(&owner, state), answer);
    QVERIFY(openWhileShown);
    QCOMPARE(state.answer, answer);
    QVERIFY(!state.open);
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
    const int got = overwrite ? AskOverwriteWithDialog(&owner, state, kPalmQuestion, kPath, {})
                              : AskBothChangedWithDialog(&owner, state);
    QCOMPARE(got, 3);
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
        const int got = overwrite ? AskOverwriteWithDialog(&owner, state, kPcQuestion, kPath, {})
                                  : AskBothChangedWithDialog(&owner, state);
        QCOMPARE(focused, QStringLiteral("cmd_skip"));
        QCOMPARE(got, 7);
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
    const int got = AskOverwriteWithDialog(&owner, state, kPcQuestion, kPath, [&calls] { ++calls; });
    QCOMPARE(callsAfterEachClick, (QList<int>{1, 2}));
    QVERIFY(stillOpen);
    QCOMPARE(got, 6);
    QCOMPARE(calls, 2);

    // Without a callback the box is still safe to click.
    OnPrompt([](QDialog* dialog) {
        QTest::mouseClick(dialog->findChild<QCheckBox*>(QStringLiteral("chk_notaskagain")), Qt::LeftButton);
        Click(dialog, "cmd_skip");
    });
    QCOMPARE(AskOverwriteWithDialog(&owner, state, kPcQuestion, kPath, {}), 7);
}

void PromptDialogsTest::ownerComesForward()
{
    PromptState state;
    for (bool minimised : {false, true}) {
        QWidget owner;
        if (minimised) {
            owner.showMinimized();
        }
        bool shownNormally = false;
        OnPrompt([&](QDialog* dialog) {
            shownNormally = owner.isVisible() && !owner.isMinimized();
            Click(dialog, "cmd_stop");
        });
        AskBothChangedWithDialog(&owner, state);
        QVERIFY2(shownNormally, minimised ? "minimised owner" : "hidden owner");
    }
}

// --- Texts ---------------------------------------------------------------------

void PromptDialogsTest::overwriteTexts()
{
    QWidget owner;
    for (const QString& question : {kPcQuestion, kPalmQuestion}) {
        PromptState state;
        OverwriteDialog dialog(&owner, state, {});
        dialog.ShowFile(question, kPath);
        QCOMPARE(dialog.objectName(), QStringLiteral("frmOvwDialog"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("LUM2 Message"));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lbl_message"))->text(), question);
        QVERIFY(dialog.findChild<QLabel*>(QStringLiteral("lbl_message"))->font().bold());
        auto* fileName = dialog.findChild<QLineEdit*>(QStringLiteral("txt_filename"));
        QVERIFY(fileName != nullptr);
        QCOMPARE(fileName->text(), kPath);
        QVERIFY(fileName->isReadOnly());
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lbl_buttons"))->text(),
                 QStringLiteral("Yes - overwrite file\r\nSkip - skip task\r\nStop - stop conversion"));
        QCOMPARE(dialog.findChild<QCheckBox*>(QStringLiteral("chk_notaskagain"))->text(),
                 QStringLiteral("do not ask again"));
        QCOMPARE(Captions(dialog), (QStringList{"cmd_yes=Yes", "cmd_skip=Skip", "cmd_stop=Stop"}));
        QVERIFY(!dialog.findChild<QLabel*>(QStringLiteral("Image1"))->pixmap().isNull());
        QVERIFY(dialog.findChild<QFrame*>(QStringLiteral("shp_conr")) != nullptr);
    }
}

void PromptDialogsTest::bothChangedTexts()
{
    QWidget owner;
    PromptState state;
    BothChangedDialog dialog(&owner, state);
    QCOMPARE(dialog.objectName(), QStringLiteral("frmBochDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("LUM2 Message"));
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lbl_message"))->text(),
             QStringLiteral("Both files have been changed!\r\nWhich one do you like to be updated?"));
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lbl_buttons"))->text(),
             QStringLiteral("PC File - update PC File\r\nPalm File - update Palm File\r\n"
                            "Skip - skip task\r\nStop - stop conversion"));
    QCOMPARE(Captions(dialog), (QStringList{"cmd_pcfile=PC File", "cmd_palmfile=Palm File", "cmd_skip=Skip",
                                            "cmd_stop=Stop"}));
    QVERIFY(dialog.findChild<QLineEdit*>() == nullptr);
    QVERIFY(dialog.findChild<QCheckBox*>() == nullptr);
    QVERIFY(!dialog.findChild<QLabel*>(QStringLiteral("Image1"))->pixmap().isNull());
    QVERIFY(dialog.findChild<QFrame*>(QStringLiteral("shp_conr")) != nullptr);
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
    for (const auto& c : cases) {
        const QString text = c.label->text();
        QVERIFY(text.contains(QStringLiteral("\r\n")));
        QCOMPARE(Rendered(text, *c.label), Rendered(QString(text).replace(QStringLiteral("\r\n"), "\n"), *c.label));
        const int lineSpacing = QFontMetrics(c.label->font()).lineSpacing();
        QVERIFY2(c.label->sizeHint().height() >= c.lines * lineSpacing, qPrintable(text));
        QVERIFY2(c.label->sizeHint().height() < (c.lines + 1) * lineSpacing, qPrintable(text));
    }
}

// --- Pictures ------------------------------------------------------------------

void PromptDialogsTest::directionPictures_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("task list") << 16;
    QTest::newRow("between") << 24;
    QTest::newRow("editor") << 48;
}

void PromptDialogsTest::directionPictures()
{
    QFETCH(int, size);
    QList<QImage> images;
    for (int direction = 1; direction <= 5; ++direction) {
        const QPixmap picture = DirectionPicture(direction, size);
        QCOMPARE(picture.deviceIndependentSize(), QSizeF(size, size));
        // Drawn for the screen's density, not scaled up from a small one.
        QCOMPARE(picture.size(), QSize(size, size) * qApp->devicePixelRatio());
        const QImage image = picture.toImage();
        // Even the none-selected placeholder must show something.
        QVERIFY2(InkedPixels(image) * 20 > image.width() * image.height(), qPrintable(QString::number(direction)));
        for (int other = 0; other < images.size(); ++other) {
            QVERIFY2(image != images[other], qPrintable(QStringLiteral("%1 looks like %2").arg(direction).arg(other + 1)));
        }
        images << image;
    }
    for (int unknown : {0, 6, -1}) {
        QCOMPARE(DirectionPicture(unknown, size).toImage(), images[4]);
    }
}

void PromptDialogsTest::directionIconSizes()
{
    QList<QImage> seen;
    for (int direction = 1; direction <= 5; ++direction) {
        const QIcon icon = DirectionIcon(direction);
        QCOMPARE(icon.availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));
        const QImage small = IconImage(icon, 16);
        QCOMPARE(small.size(), QSize(16, 16));
        QVERIFY(!seen.contains(small));
        seen << small;
        if (PlainScreen()) {
            QCOMPARE(small, DirectionPicture(direction, 16).toImage());
            QCOMPARE(IconImage(icon, 32), DirectionPicture(direction, 32).toImage());
        }
    }
}

void PromptDialogsTest::trayPictures()
{
    const int indexes[] = {1, 2, 9, 10};
    for (int size : {16, 22}) {
        QList<QImage> images;
        for (int index : indexes) {
            const QPixmap picture = TrayPicture(index, size);
            QCOMPARE(picture.deviceIndependentSize(), QSizeF(size, size));
            const QImage image = picture.toImage();
            QVERIFY(InkedPixels(image) * 4 > image.width() * image.height());
            for (const QImage& other : images) {
                QVERIFY2(image != other, qPrintable(QStringLiteral("tray %1 at %2").arg(index).arg(size)));
            }
            images << image;
        }
        for (int unknown : {0, 3, 8, 11}) {
            QCOMPARE(TrayPicture(unknown, size).toImage(), images[0]);
        }
    }
    for (int index : indexes) {
        QVERIFY(TrayIcon(index).availableSizes().contains(QSize(16, 16)));
        QVERIFY(TrayIcon(index).availableSizes().contains(QSize(22, 22)));
        if (PlainScreen()) {
            QCOMPARE(IconImage(TrayIcon(index), 22), TrayPicture(index, 22).toImage());
        }
    }
    QVERIFY(IconImage(TrayIcon(9), 16) != IconImage(TrayIcon(10), 16));
}

void PromptDialogsTest::applicationAndPromptPictures()
{
    const QList<QSize> sizes = ApplicationIcon().availableSizes();
    for (int size : {16, 22, 32, 48, 64, 128, 256}) {
        QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
    }
    // The emblem is the normal tray picture, so the tray and the window list
    // show the same program.
    QCOMPARE(IconImage(ApplicationIcon(), 22), IconImage(TrayIcon(1), 22));

    const QPixmap question = PromptPicture(40);
    QCOMPARE(question.deviceIndependentSize(), QSizeF(40, 40));
    QVERIFY(InkedPixels(question.toImage()) * 2 > 40 * 40);
}

QTEST_MAIN(PromptDialogsTest)
#include "prompt_dialogs_test.moc"
