// The prompt windows driven as a user would: each test answers the real modal
// prompt from the event loop, then checks what the caller got back. And the
// pictures, which must tell the directions and tray states apart.
#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <memory>

#include "ui/pictures.h"
#include "ui/prompt_dialogs.h"

using namespace lum2::ui;

namespace {

const QString kPcQuestion = QStringLiteral("PC File already exists! Overwrite file?");
const QString kPath = QStringLiteral("/home/anna/Documents/books/Sherlock Holmes.txt");

// Runs action on the prompt once it is up. A prompt still open three seconds
// later is rejected, so that a failed check inside action fails the test
// instead of hanging it.
void OnPrompt(std::function<void(QDialog*)> action) {
    auto* poll = new QTimer;
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    QObject::connect(poll, &QTimer::timeout, [poll, waited, action] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        const bool up = dialog != nullptr && dialog->isVisible();
        if (up || waited->elapsed() > 3000) poll->stop(), poll->deleteLater();
        if (!up) return;
        QTimer::singleShot(3000, dialog, [dialog] {
            if (dialog->isVisible()) qWarning("prompt left open by the test, rejecting it"), dialog->reject();
        });
        action(dialog);
    });
    poll->start(5);
}

void Click(QDialog* dialog, const char* name) { QTest::mouseClick(dialog->findChild<QAbstractButton*>(name), Qt::LeftButton); }

// The texts of the named controls, then every button as name=caption.
QStringList Texts(const QDialog& dialog, const QStringList& names) {
    QStringList texts = {dialog.objectName(), dialog.windowTitle()};
    for (const QString& name : names) texts << dialog.findChild<QWidget*>(name)->property("text").toString();
    for (const QPushButton* button : dialog.findChildren<QPushButton*>()) texts << button->objectName() + '=' + button->text();
    return texts;
}

// True when more than one pixel in every `of` shows something.
bool Inked(const QPixmap& picture, int of) {
    const QImage image = picture.toImage();
    const int width = image.width(), all = width * image.height();
    int inked = 0;
    for (int k = 0; k < all; ++k) inked += qAlpha(image.pixel(k % width, k / width)) > 40;
    return inked * of > all;
}

}  // namespace

class PromptDialogsTest : public QObject {
    Q_OBJECT

private slots:

    // --- Answers -----------------------------------------------------------------

    void answers_data() {
        QTest::addColumn<bool>("overwrite");
        QTest::addColumn<QString>("how");  // a button, or closed, Escape, Enter
        QTest::addColumn<int>("answer");
        QTest::addRow("overwrite, yes") << true << "cmd_yes" << 6;
        QTest::addRow("both changed, pc file") << false << "cmd_pcfile" << 1;
        QTest::addRow("both changed, palm file") << false << "cmd_palmfile" << 2;
        for (bool overwrite : {true, false}) {
            const char* name = overwrite ? "overwrite" : "both changed";
            QTest::addRow("%s, skip", name) << overwrite << "cmd_skip" << 7;
            QTest::addRow("%s, stop", name) << overwrite << "cmd_stop" << 3;
            // Closing without a button is Stop; Enter is Skip, the focused button.
            QTest::addRow("%s, window closed", name) << overwrite << "closed" << 3;
            QTest::addRow("%s, Escape", name) << overwrite << "Escape" << 3;
            QTest::addRow("%s, Enter", name) << overwrite << "Enter" << 7;
        }
    }

    void answers() {
        QFETCH(bool, overwrite);
        QFETCH(QString, how);
        QFETCH(int, answer);
        QWidget owner;
        owner.show();
        PromptState state;
        // The answer of an earlier prompt must not leak into this one.
        state.answer = answer == 3 ? (overwrite ? 6 : 1) : 99;
        // Whether the state said open, its answer, and the focused button, while the prompt was up.
        bool openWhileShown = false;
        int answerWhileShown = 0;
        QString focused;
        OnPrompt([&](QDialog* dialog) {
            openWhileShown = state.open && dialog->parentWidget() == &owner && dialog->isModal();
            answerWhileShown = state.answer;
            focused = dialog->focusWidget() != nullptr ? dialog->focusWidget()->objectName() : QString();
            if (how == "closed") dialog->close();
            if (how == "Escape") QTest::keyClick(dialog, Qt::Key_Escape);
            if (how == "Enter") QTest::keyClick(dialog->focusWidget() != nullptr ? dialog->focusWidget() : dialog, Qt::Key_Return);
            if (how.startsWith("cmd_")) Click(dialog, how.toLatin1().constData());
        });
        QCOMPARE(overwrite ? AskOverwriteWithDialog(&owner, state, kPcQuestion, kPath, {}) : AskBothChangedWithDialog(&owner, state),
                 answer);
        // Seen as open, and an overwrite prompt starts from Stop.
        QVERIFY(openWhileShown && (!overwrite || answerWhileShown == 3));
        QCOMPARE(focused + QString::number(state.answer) + QString::number(state.open), "cmd_skip" + QString::number(answer) + "0");
        // One prompt per existing file: they must not pile up under the owner.
        QVERIFY(owner.findChildren<QDialog*>().isEmpty());
    }

    void doNotAskAgainReportsEveryClickAndKeepsAsking() {
        QWidget owner;
        owner.show();
        PromptState state;
        int calls = 0;
        QList<int> callsAfterEachClick;
        bool stillOpen = false;
        OnPrompt([&](QDialog* dialog) {
            for (int click = 0; click < 2; ++click) Click(dialog, "chk_notaskagain"), callsAfterEachClick << calls;
            // Let anything queued by the clicks run before looking again.
            QTest::qWait(50);
            stillOpen = dialog->isVisible() && state.open && QApplication::activeModalWidget() == dialog;
            Click(dialog, "cmd_yes");
        });
        QCOMPARE(AskOverwriteWithDialog(&owner, state, kPcQuestion, kPath, [&calls] { ++calls; }), 6);
        QCOMPARE(callsAfterEachClick, (QList<int>{1, 2}));
        QVERIFY(stillOpen);

        // Without a callback the box is still safe to click.
        OnPrompt([](QDialog* dialog) { Click(dialog, "chk_notaskagain"), Click(dialog, "cmd_skip"); });
        QCOMPARE(AskOverwriteWithDialog(&owner, state, kPcQuestion, kPath, {}), 7);
    }

    void ownerComesForward() {
        PromptState state;
        for (bool minimised : {false, true}) {
            QWidget owner;
            if (minimised) owner.showMinimized();
            bool shownNormally = false;
            OnPrompt([&](QDialog* d) { shownNormally = owner.isVisible() && !owner.isMinimized(), Click(d, "cmd_stop"); });
            AskBothChangedWithDialog(&owner, state);
            QVERIFY2(shownNormally, minimised ? "minimised owner" : "hidden owner");
        }
    }

    // --- Texts ---------------------------------------------------------------------

    void textsAndTheirLineBreaks() {
        QWidget owner;
        PromptState state;
        OverwriteDialog overwrite(&owner, state, {});
        overwrite.ShowFile(kPcQuestion, kPath);
        QCOMPARE(Texts(overwrite, {"lbl_message", "txt_filename", "lbl_buttons", "chk_notaskagain"}),
                 (QStringList{"frmOvwDialog", "LUM2 Message", kPcQuestion, kPath,
                              "Yes - overwrite file\r\nSkip - skip task\r\nStop - stop conversion", "do not ask again",
                              "cmd_yes=Yes", "cmd_skip=Skip", "cmd_stop=Stop"}));
        QVERIFY(overwrite.findChild<QLineEdit*>("txt_filename")->isReadOnly());
        BothChangedDialog both(&owner, state);
        QCOMPARE(Texts(both, {"lbl_message", "lbl_buttons"}),
                 (QStringList{"frmBochDialog", "LUM2 Message", "Both files have been changed!\r\nWhich one do you like to be updated?",
                              "PC File - update PC File\r\nPalm File - update Palm File\r\nSkip - skip task\r\nStop - stop conversion",
                              "cmd_pcfile=PC File", "cmd_palmfile=Palm File", "cmd_skip=Skip", "cmd_stop=Stop"}));
        QVERIFY(both.findChild<QLineEdit*>() == nullptr && both.findChild<QCheckBox*>() == nullptr);
        for (const QDialog* d : {static_cast<QDialog*>(&overwrite), static_cast<QDialog*>(&both)})
            QVERIFY(!d->findChild<QLabel*>("Image1")->pixmap().isNull());

        // The texts keep the "\r\n" the program has always used; on screen that must
        // be a plain line break, not a stray glyph or a run-on line.
        const std::pair<const QLabel*, int> cases[] = {{overwrite.findChild<QLabel*>("lbl_buttons"), 3},
                                                       {both.findChild<QLabel*>("lbl_buttons"), 4},
                                                       {both.findChild<QLabel*>("lbl_message"), 2}};
        const auto rendered = [](const QString& text, const QLabel& like) {
            QLabel label(text);
            label.setTextFormat(like.textFormat()), label.setFont(like.font()), label.resize(label.sizeHint());
            return label.grab().toImage();
        };
        for (const auto& [label, lines] : cases) {
            const QString text = label->text();
            QCOMPARE(rendered(text, *label), rendered(QString(text).replace(QStringLiteral("\r\n"), "\n"), *label));
            const int lineSpacing = QFontMetrics(label->font()).lineSpacing(), height = label->sizeHint().height();
            QVERIFY2(height >= lines * lineSpacing && height < (lines + 1) * lineSpacing, qPrintable(text));
        }
    }

    // --- Pictures ------------------------------------------------------------------

    // Every picture shows something and differs from the others of its kind;
    // unknown numbers fall back to a known picture.
    void pictures() {
        // Each set at each size; unknown numbers show the fallback's picture.
        const auto checkSet = [](const std::function<QPixmap(int, int)>& draw, QList<int> indexes, QList<int> sizes,
                                 int inkedOf, QList<int> unknown, int fallback) {
            for (int size : sizes) {
                QList<QImage> images;
                for (int index : indexes) {
                    const QPixmap picture = draw(index, size);
                    // Drawn for the screen's density, not scaled up from a small one.
                    QVERIFY(picture.deviceIndependentSize() == QSizeF(size, size) &&
                            picture.size() == QSize(size, size) * qApp->devicePixelRatio());
                    const QString where = QStringLiteral("%1 at %2").arg(index).arg(size);
                    QVERIFY2(Inked(picture, inkedOf) && !images.contains(picture.toImage()), qPrintable(where));
                    images << picture.toImage();
                }
                for (int index : unknown) QCOMPARE(draw(index, size).toImage(), images[indexes.indexOf(fallback)]);
            }
        };
        checkSet(DirectionPicture, {1, 2, 3, 4, 5}, {16, 24, 48}, 20, {0, 6, -1}, 5);
        const auto tray = [](int index, int size) { return TrayPixmap(static_cast<lum2::TrayPicture>(index), size); };
        checkSet(tray, {1, 2, 9, 10}, {16, 22}, 4, {0, 3, 8, 11}, 1);
        // The icons are drawn for the size and density asked for: the list's
        // arrows are the small picture at any scale, never the large one shrunk.
        using lum2::TrayPicture;
        for (const qreal ratio : {1.0, 1.25, 2.0, 3.0}) {
            const auto image = [ratio](const QIcon& icon, int size) { return icon.pixmap(QSize(size, size), ratio).toImage(); };
            QList<QImage> arrows;
            for (int direction = 1; direction <= 4; ++direction) {
                arrows << image(DirectionIcon(direction), 16);
                QCOMPARE(arrows.last(), DirectionPictureForRatio(direction, 16, ratio).toImage());
                QVERIFY(arrows.indexOf(arrows.last()) == direction - 1 && arrows.last().width() == std::ceil(16 * ratio));
            }
            QVERIFY(image(TrayIcon(TrayPicture::kSuccess), 22) != image(TrayIcon(TrayPicture::kErrors), 22));
        }
        QVERIFY(PromptPicture(40).deviceIndependentSize() == QSizeF(40, 40) && Inked(PromptPicture(40), 2));
    }
};

QTEST_MAIN(PromptDialogsTest)
#include "prompt_dialogs_test.moc"
