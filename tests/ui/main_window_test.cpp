// frmMain driven as a user drives it: typing into the editor, ticking the
// install list, clicking rows, the scroll bar and the run button, then
// reading back what lumdata.dat holds. Each test builds its own store, HotSync
// users "Ann", "Bob" and "Cid" in a temp folder, and a fresh window.
#include <QtTest>
#include <QtWidgets>

#include <filesystem>
#include <functional>
#include <ranges>

#include "static_codec.h"
#include "temp_dir.h"
#include "hotsync/folder_tree_directory.h"
#include "hotsync/install_targets.h"
#include "tasks/record_store.h"
#include "tasks/store_layout.h"
#include "ui/clickable_label.h"
#include "ui/connector_widget.h"
#include "ui/main_window.h"
#include "ui/preview_window.h"

using lum2::kClipboardRecord;
using lum2::kSettingsRecord;
using lum2::ui::MainWindow;

namespace {

constexpr int kCustomEntry = 3;  // "Custom" follows the users
constexpr int kNone = lum2::kDirectionNone, kPalmToPc = lum2::kDirectionPalmToPc;
constexpr int kPcToPalm = lum2::kDirectionPcToPalm, kSync = lum2::kDirectionSync;
const char* const kUsers[] = {"Ann", "Bob", "Cid"};

// The HotSync users, each a folder <root>/<name> holding backup/.
std::string MakeUsers(const std::string& root) {
    for (const char* name : kUsers) std::filesystem::create_directories(root + name + "/backup");
    return root;
}

QString Q(const std::string& text) { return QString::fromStdString(text); }
QString PcName(int n) { return QString("/t/pc%1.txt").arg(n); }

// One store, one set of users and one window; numbered tasks /t/pc<n>.txt / palm<n>.pdb.
class Fixture {
public:
    explicit Fixture(int numbered = 0) : users(MakeUsers(dir.Path() + "palm/")), targets_(&users) {
        targets_.FillInstallList();
        store.OpenStore(dir.Path());
        for (int n = 1; n <= numbered; ++n) Add(PcName(n).toStdString(), "palm" + std::to_string(n) + ".pdb", kPcToPalm);
    }
    ~Fixture() { window.reset(), store.Close(); }

    // A task as "New" would make it from the settings, with these values.
    void Add(const std::string& pc, const std::string& palm, int direction, const std::string& install = "1",
             const std::function<void(lum2::TaskRecord&)>& change = {}) {
        lum2::TaskRecord task = store.GetRecord(kSettingsRecord);
        task.pcfile = pc, task.palmfile = palm, task.direction = static_cast<int16_t>(direction);
        task.install = install, task.status.clear(), task.taskid = store.NewTaskId();
        if (change) change(task);
        store.PutRecord(store.RecordCount() + 1, task);
    }
    void ChangeSettings(const std::function<void(lum2::TaskRecord&)>& change) {
        lum2::TaskRecord settings = Settings();
        change(settings), store.PutRecord(kSettingsRecord, settings);
    }
    lum2::TaskRecord Row(int row) const { return store.GetRecord(lum2::RecordOfRow(row)); }
    lum2::TaskRecord Settings() const { return store.GetRecord(kSettingsRecord); }
    std::string File(const std::string& name) const { return dir.File(name); }
    std::string Write(const std::string& name, const std::string& text) const {
        return lum2::test::WriteFileText(File(name), text), File(name);
    }
    // "~/" stands for the home folder, "@" for the test's folder.
    QString Expand(const QString& path) const {
        if (path.startsWith("~/")) return QDir::homePath() + path.mid(1);
        return path.startsWith('@') ? Q(File(path.mid(1).toStdString())) : path;
    }

    // Brings the window up the way the program does: shown, then started.
    // With hiddenStart, the way a start hidden in the tray does: started, then restored.
    MainWindow& Open(bool hiddenStart = false) {
        window = std::make_unique<MainWindow>(MainWindow::Services{dir.Path(), &store, &targets_, &codec_});
        if (hiddenStart) window->StartUp(false), window->RefreshTaskView(MainWindow::kRefreshAll);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) qWarning("window not exposed");
        if (!hiddenStart) window->StartUp();
        QCoreApplication::processEvents();
        return *window;
    }

    lum2::test::TempDir dir;
    lum2::RecordStore store;
    std::unique_ptr<MainWindow> window;
    lum2::FolderTreeDirectory users;

private:
    lum2::InstallTargets targets_;
    lum2::CodecFunctions codec_ = lum2::test::StaticCodec();
};

void Click(QWidget* control) { QTest::mouseClick(control, Qt::LeftButton); }

// Replaces the box's text by typing, as a user selecting all and typing over it.
void TypeOver(QLineEdit* box, const QString& text) {
    box->selectAll(), text.isEmpty() ? QTest::keyClick(box, Qt::Key_Backspace) : QTest::keyClicks(box, text);
}

// Clicks a row's cell; column is the logical one (0 = Sync, shown in the middle).
void ClickCell(MainWindow& w, int row, int column, Qt::KeyboardModifiers modifiers = {}) {
    const int x = w.lvw_tasks->header()->sectionViewportPosition(column) + w.lvw_tasks->columnWidth(column) / 2;
    const int y = w.lvw_tasks->visualItemRect(w.lvw_tasks->topLevelItem(row - 1)).center().y();
    QTest::mouseClick(w.lvw_tasks->viewport(), Qt::LeftButton, modifiers, QPoint(x, y));
}

// The checked install entries, e.g. "Ann+Bob".
QString Checked(MainWindow& w) {
    QStringList names;
    for (const QListWidgetItem* item : w.lst_install->findItems("*", Qt::MatchWildcard))
        if (item->checkState() == Qt::Checked) names << item->text();
    return names.join(QLatin1Char('+'));
}

// Ticks or unticks entry k as a click on its box does.
void SetEntry(MainWindow& w, int k, bool on) { w.lst_install->item(k)->setCheckState(on ? Qt::Checked : Qt::Unchecked); }

int Direction(MainWindow& w, int row) { return w.lvw_tasks->topLevelItem(row - 1)->data(0, Qt::UserRole).toInt(); }
QString Cell(MainWindow& w, int row, int column) { return w.lvw_tasks->topLevelItem(row - 1)->text(column); }

// Selected row, first visible row, scroll bar value and maximum.
QList<int> View(MainWindow& w) { return {w.SelectedRow(), w.FirstVisibleRow(), w.VScroll1->value(), w.VScroll1->maximum()}; }

// The selected task's record, its list row and the editor agree: full paths
// stored and shown, file names in the list.
void CheckRowMatchesEditor(Fixture& f, MainWindow& w) {
    const int row = w.SelectedRow();
    const QString pc = Q(f.Row(row).pcfile), palm = Q(f.Row(row).palmfile);
    QCOMPARE(QStringList({w.txt_pcfile->text(), w.txt_palmfile->text(), Cell(w, row, 1), Cell(w, row, 2)}),
             QStringList({pc, palm, QFileInfo(pc).fileName(), QFileInfo(palm).fileName()}));
}

// The editor is locked: no task to edit.
bool EditorLocked(MainWindow& w) {
    return w.txt_pcfile->text().isEmpty() && w.txt_pcfile->isReadOnly() && w.txt_palmfile->isReadOnly() &&
           !w.lst_install->isEnabled() && !w.img_action->isEnabled() && !w.cmd_delete->isEnabled();
}

// Drags files onto the task list and drops them; true when the list took the drag.
bool DropFiles(MainWindow& w, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    QWidget* viewport = w.lvw_tasks->viewport();
    QDragEnterEvent enter(viewport->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(viewport->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter), QApplication::sendEvent(viewport, &drop);
    return enter.isAccepted();
}

// About size bytes of ordinary text in short lines.
std::string SampleText(std::size_t size) {
    std::string text;
    for (int n = 0; text.size() < size; ++n) text += "line " + std::to_string(n) + (n % 3 ? " a fox\n" : " a lazy dog\n");
    return text;
}

// Answers every prompt a run opens with the next of actions (the last one
// again once they run out). A prompt still open three seconds after it came
// is rejected, so that a broken action fails the test instead of hanging it.
class PromptAnswerer {
public:
    explicit PromptAnswerer(std::vector<std::function<void(QDialog*)>> actions) : actions_(std::move(actions)) {
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || !dialog->isVisible() || dialog == handled_) return;
            handled_ = dialog, names << dialog->objectName();
            QTimer::singleShot(3000, dialog, [guard = QPointer<QDialog>(dialog)] {
                if (guard && guard->isVisible()) qWarning("prompt left open, rejecting it"), guard->reject();
            });
            actions_.at(std::min<std::size_t>(names.size() - 1, actions_.size() - 1))(dialog);
        });
        poll_.start(5);
    }
    QStringList names;  // of the prompts seen

private:
    std::vector<std::function<void(QDialog*)>> actions_;
    QTimer poll_;
    QPointer<QDialog> handled_;
};

// A key pressed where the focus is, as the user presses it.
void Key(int key, Qt::KeyboardModifiers modifiers = {}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
}

// Clicks a prompt's button or check box.
void Press(QDialog* dialog, const char* name) {
    if (auto* control = dialog->findChild<QAbstractButton*>(QLatin1String(name))) return Click(control);
    qWarning("no control %s in the prompt", name), dialog->reject();
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // --- Editor -------------------------------------------------------------------

    // The number boxes and the options edit the task. The status line and the
    // row show a stored text's control characters escaped; the record keeps them.
    void numberBoxesAndOptionsStoreInTheTaskAndNamesShowEscaped() {
        Fixture f;
        const std::string status = "Error: x\n\x1b[2Jy";
        f.Add("/t/a\tb.txt", "c\nd.pdb", kPcToPalm, "1", [&](lum2::TaskRecord& t) {
            t.options = "100000", t.status = status;  // stored before UTF-8 was an option
        });
        MainWindow& w = f.Open();
        QCOMPARE(QStringList({w.txt_status->text(), Cell(w, 1, 1), Cell(w, 1, 2)}),
                 QStringList({"Error: x\\n\\x1b[2Jy", "a\\tb.txt", "c\\nd.pdb"}));
        QLineEdit* tab = w.txt_tabspace;

        // TAB width 0..64, category 0..15, two digits at most, not a number is 0.
        const struct { QLineEdit* box; const char* typed; const char* shown; int stored; } cases[] = {
            {tab, "99", "64", 64}, {tab, "-5", "0", 0}, {tab, "123", "12", 12}, {tab, "x", nullptr, 0},
            {w.txt_category, "20", "15", 15}, {w.txt_category, "ab", nullptr, 0}, {w.txt_category, "999", "15", 15}};
        for (const auto& c : cases) {
            TypeOver(c.box, c.typed);
            if (c.shown != nullptr) QCOMPARE(c.box->text(), QString(c.shown));
            QCOMPARE(int(c.box == tab ? f.Row(1).tabspace : f.Row(1).category), c.stored);
        }
        // The settings record is not what the boxes edit.
        QCOMPARE(QList<int>({f.Settings().tabspace, f.Settings().category}), QList<int>({4, 0}));

        // UTF-8 is the seventh option.
        w.lst_options->item(6)->setCheckState(Qt::Checked);
        QCOMPARE(Q(f.Row(1).options), QString("1000001"));
        QCOMPARE(QList<std::string>({f.Row(1).pcfile, f.Row(1).palmfile, f.Row(1).status}),
                 QList<std::string>({"/t/a\tb.txt", "c\nd.pdb", status}));
    }

    void autoNamingFollowsDirectionAndFolders() {
        Fixture f;
        const std::string custom = f.File("custom/");
        f.ChangeSettings([&](lum2::TaskRecord& s) { s.palmfile = custom, s.install = "0001", s.direction = kPcToPalm; });
        f.Add("", "", kPcToPalm);
        f.Add("", "", kPalmToPc);
        f.Add("/texts/keep.txt", "keep.pdb", kPcToPalm);
        f.Add("/texts/also.txt", "also.pdb", kPalmToPc);
        f.Add("/texts/old.txt", custom + "old.pdb", kPcToPalm, "0001");
        MainWindow& w = f.Open();
        // Each step clicks its row (0: none), then acts: c/p types into the PC/Palm
        // box (how: t over, + appended, = set), d turns the direction twice, n flips
        // the naming box, N is New, s sets the settings' Palm folder. Then both boxes
        // are compared (nullptr: not compared); "~/" is the home folder, "@" the test's.
        const struct { int row; char what, how; const char *text, *pc, *palm; } steps[] = {
            // PC to Palm: the Palm name follows the PC name.
            {1, 'c', '+', "/docs/report.txt", "/docs/report.txt", "report.pdb"},
            // ".pdb" joins a Palm name without one; the PC name does not follow in this direction.
            {0, 'p', 't', "a", "/docs/report.txt", "a.pdb"}, {0, 'p', '+', "bc", nullptr, "abc.pdb"},
            {0, 'p', '=', "a.b", nullptr, "a.b"},
            // Palm to PC: the PC name follows, in the home folder while neither the
            // task nor the settings name a PC folder.
            {2, 'p', '+', "memo", "~/memo.txt", "memo.pdb"},
            // The PC folder already typed stays; typing a PC name renames nothing.
            {0, 'c', '=', "/texts/old.txt", "/texts/old.txt", nullptr},
            {0, 'p', 't', "note", "/texts/note.txt", "note.pdb"},
            {0, 'c', 't', "/texts/other.txt", "/texts/other.txt", "note.pdb"},
            // Sync: whichever name was typed last leads.
            {0, 'd', 0, nullptr, nullptr, nullptr},
            {0, 'c', 't', "/texts/synced.txt", "/texts/synced.txt", "synced.pdb"},
            {0, 'p', 't', "back", "/texts/back.txt", "back.pdb"},
            // The user emptied the Palm text: the settings' custom folder.
            {5, 'p', 't', "", "/texts/old.txt", ""},
            {0, 'c', 't', "/texts/report.txt", nullptr, "@custom/report.pdb"},
            // New takes the settings' custom folder, or the home folder without one.
            {0, 'N', 0, nullptr, "", nullptr}, {0, 'c', '+', "report.txt", "report.txt", "@custom/report.pdb"},
            {0, 's', 0, "", nullptr, nullptr}, {0, 'N', 0, nullptr, "", nullptr},
            {0, 'c', '+', "report.txt", "report.txt", "~/report.pdb"},
            // Naming off renames nothing, and adds no ".pdb".
            {3, 'n', 0, nullptr, "/texts/keep.txt", "keep.pdb"},
            {0, 'c', 't', "/texts/report.txt", "/texts/report.txt", "keep.pdb"},
            {0, 'p', 't', "a", nullptr, "a"}, {4, 'p', 't', "memo.pdb", "/texts/also.txt", "memo.pdb"}};
        for (const auto& s : steps) {
            const QString where = QString("%1 %2 %3: ").arg(QChar(s.what)).arg(QChar(s.how ? s.how : '.')).arg(s.text);
            if (s.row != 0) ClickCell(w, s.row, 1 + s.row % 2);
            QLineEdit* box = s.what == 'c' ? w.txt_pcfile : w.txt_palmfile;
            if (s.what == 'd') Click(w.img_action), Click(w.img_action);
            if (s.what == 'n') Click(w.chk_autonaming);
            if (s.what == 'N') Click(w.cmd_new);
            if (s.what == 's') f.ChangeSettings([&](lum2::TaskRecord& settings) { settings.palmfile = s.text; });
            if (s.how == 't') TypeOver(box, s.text);
            if (s.how == '+') QTest::keyClicks(box, s.text);
            if (s.how == '=') box->setText(s.text);
            const QString pc = s.pc ? f.Expand(s.pc) : w.txt_pcfile->text();
            const QString palm = s.palm ? f.Expand(s.palm) : w.txt_palmfile->text();
            QCOMPARE(where + w.txt_pcfile->text() + " | " + w.txt_palmfile->text(), where + pc + " | " + palm);
            // Typing over a Palm name leaves the cursor after the typed letters, in front of ".pdb".
            if (s.what == 'p' && s.how == 't') QCOMPARE(w.txt_palmfile->cursorPosition(), int(QString(s.text).size()));
            CheckRowMatchesEditor(f, w);
        }
        const bool before = AutoNaming(f.Settings());
        Click(w.chk_autonaming);
        QVERIFY(!before && AutoNaming(f.Settings()));
    }

    void fileInfoTexts() {
        Fixture f;
        const std::string big = f.File("palm/Ann/backup/big.pdb");
        lum2::test::WriteFileText(big, std::string(1234567, 'x'));
        const QDateTime stamp(QDate(2021, 3, 5), QTime(14, 7));
        QFile file(Q(big));
        QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(stamp, QFileDevice::FileModificationTime));
        const std::string text = f.Write("story.txt", std::string(999, 'x'));
        f.Add(text, "book.pdb", kPcToPalm, "1100");                // 1: two users
        f.Add(text, "big.pdb", kPalmToPc, "1000");                 // 2: Ann's file
        f.Add(f.File("gone.txt"), "gone.pdb", kPalmToPc, "1000");  // 3: missing files
        f.Add("/texts/", "", kPcToPalm, "0100");                   // 4: no names
        f.Add(text, big, kPcToPalm, "0001");                       // 5: Custom, full path
        MainWindow& w = f.Open();

        const QString bigInfo = QLocale().toString(stamp, QLocale::ShortFormat) + "\n1,234,567 Byte";
        const QString noName = "Browse or Enter Filename";
        // The Palm box and the end of the PC box, row by row.
        const QString palmInfo[] = {"Distribute Mode", bigInfo, "New File", noName, bigInfo};
        const QString pcInfo[] = {"\n999 Byte", "\n999 Byte", "New File", noName, "\n999 Byte"};
        for (int row : {1, 2, 3, 5, 4}) {
            ClickCell(w, row, 1);
            QCOMPARE(w.txt_palmfiledata->toPlainText(), palmInfo[row - 1]);
            QVERIFY2(w.txt_pcfiledata->toPlainText().endsWith(pcInfo[row - 1]), qPrintable(w.txt_pcfiledata->toPlainText()));
        }

        // Typing on the unnamed row updates the box at once: Bob has no such file, Ann has.
        QStringList seen;
        QTest::keyClicks(w.txt_palmfile, "big"), seen << w.txt_palmfiledata->toPlainText();
        SetEntry(w, 0, true), seen << w.txt_palmfiledata->toPlainText();
        SetEntry(w, 1, false), seen << w.txt_palmfiledata->toPlainText();
        QCOMPARE(seen, QStringList({"New File", "Distribute Mode", bigInfo}));
    }

    void fileDialogsFilterPalmFilesAndPathsLongerThanTheFieldAreRefused() {
        Fixture f;
        f.Add("/t/a.txt", f.File("a.pdb"), kPalmToPc, "0001");
        MainWindow& w = f.Open();
        const std::string deep = f.File(std::string(200, 'd') + "/" + std::string(200, 'e'));
        std::filesystem::create_directories(deep);
        QStringList captions;
        PromptAnswerer answerer({[&](QDialog* d) { captions = qobject_cast<QFileDialog*>(d)->nameFilters(), d->reject(); },
                                 [&](QDialog* dialog) {  // as the Open button does
                                     auto* files = qobject_cast<QFileDialog*>(dialog);
                                     files->setDirectory(Q(deep)), files->selectFile(QString(150, 'n')), dialog->accept();
                                 }});
        Click(w.cmd_browsepalmfile);
        QCOMPARE(captions, (QStringList{"All (*)", "Palm Files(*.prc *.pdb)", "Palm PRC (*.prc)", "Palm PDP (*.pdb)"}));

        QLineEdit* pc = w.txt_pcfile;
        const QString longest = "/t/" + QString(505, 'p') + ".txt";  // 512 bytes, the field's width
        pc->setText(longest);
        QCOMPARE(Q(f.Row(1).pcfile), longest);

        // One byte more, typed, pasted as a two-byte letter, or chosen in the
        // dialog, is refused: the box and the record keep the path they had, and
        // the status line says why.
        QApplication::clipboard()->setText(QString::fromUtf8("\u00e9"));
        for (int how = 0; how < 3; ++how) {
            w.txt_status->clear();
            const QString before = how == 0 ? longest : longest.chopped(1);
            pc->setText(before), pc->end(false);
            how == 0 ? QTest::keyClick(pc, 'x') : how == 1 ? pc->paste() : Click(w.cmd_browsepcfile);
            QCOMPARE(QStringList({pc->text(), Q(f.Row(1).pcfile)}), QStringList(2, before));
            QVERIFY2(w.txt_status->text().contains("PC File path is longer than 512 bytes"), qPrintable(w.txt_status->text()));
        }

        // The clipboard settings' Palm file likewise.
        Click(w.cmd_clipsettings);
        QApplication::clipboard()->setText("/" + QString(512, 'c'));
        w.txt_palmfile->selectAll(), w.txt_palmfile->paste();
        QCOMPARE(QStringList({w.txt_palmfile->text(), Q(f.store.GetRecord(kClipboardRecord).palmfile)}), QStringList(2, "clipboard.pdb"));
        QVERIFY(w.txt_status->text().contains("Palm File path is longer than 512 bytes"));
    }

    // --- Install list -------------------------------------------------------------

    void installListFollowsDirectionAndNeverEmpties() {
        Fixture f;
        f.Add("/t/a.txt", "book.pdb", kPcToPalm, "1100");
        f.Add("/t/b.txt", "book.pdb", kPalmToPc, "1000");
        f.Add("/t/c.txt", "book.pdb", kPalmToPc, "1000111");
        f.Add("/t/d.txt", "book.pdb", kPcToPalm, "0001");
        f.Add("/t/e.txt", "book.pdb", kPalmToPc, "0010");
        MainWindow& w = f.Open();
        const std::string custom = f.File("custom/");
        std::filesystem::create_directories(custom);
        // Each step clicks its row (0: none), ticks or unticks an entry (-1: none),
        // then compares the checked entries, the record's install characters (from
        // the first) and the Palm box (nullptr: not compared).
        const struct { int row, entry; bool check; const char *checked, *install, *palm; } steps[] = {
            // PC to Palm: users add up, and unchecking one leaves the others.
            {1, -1, false, "Ann+Bob", "1100", nullptr}, {0, 2, true, "Ann+Bob+Cid", "1110", nullptr},
            {0, 0, false, "Bob+Cid", "0110", "book.pdb"},
            // Palm to PC reads from one user only.
            {2, -1, false, "Ann", "1000", nullptr}, {0, 1, true, "Bob", "0100", nullptr},
            // The only checked entry cannot be unchecked; only the list's own characters change.
            {3, 0, false, "Ann", "1000111", nullptr}, {0, 2, true, "Cid", "0010111", nullptr},
            {4, kCustomEntry, false, "Custom", "0001", nullptr},
            // Custom stands alone and carries the folder; a user next to it takes both away.
            {1, kCustomEntry, true, "Custom", "0001", "~/book.pdb"}, {0, 0, true, "Ann", "1000", "book.pdb"},
            // The settings' Palm folder is the custom folder.
            {5, kCustomEntry, true, "Custom", "0001", "@custom/book.pdb"}};
        for (const auto& s : steps) {
            if (s.row == 5) f.ChangeSettings([&](lum2::TaskRecord& settings) { settings.palmfile = custom; });
            if (s.row != 0) ClickCell(w, s.row, 1);
            if (s.entry >= 0) SetEntry(w, s.entry, s.check);
            QCOMPARE(Checked(w), QString(s.checked));
            QCOMPARE(Q(f.Row(w.SelectedRow()).install).left(int(QString(s.install).size())), QString(s.install));
            if (s.palm != nullptr) QCOMPARE(w.txt_palmfile->text(), f.Expand(s.palm));
            CheckRowMatchesEditor(f, w);
        }

        // Ctrl+click takes the selection away; ticking then changes no record.
        ClickCell(w, 5, 1, Qt::ControlModifier);
        QVERIFY(w.SelectedRow() == 0 && w.txt_pcfile->isReadOnly());
        SetEntry(w, 1, true);
        QCOMPARE(Q(f.Row(5).install).left(4) + Q(f.Row(5).palmfile), "0001" + Q(custom) + "book.pdb");
    }

    // --- Direction ------------------------------------------------------------------

    void directionTurnsByPictureAndMiddleColumn() {
        Fixture f;
        f.Add("/t/a.txt", "a.pdb", kPcToPalm, "1110");
        f.Add("/t/b.txt", "b.pdb", kSync, "1000");
        MainWindow& w = f.Open();
        const QImage start = w.img_action->pixmap().toImage();
        // The picture turns the direction; leaving PC to Palm keeps the first checked user only.
        for (const int direction : {kSync, kNone, kPalmToPc, kPcToPalm}) {
            Click(w.img_action);
            QCOMPARE(QList<int>({Direction(w, 1), f.Row(1).direction}), QList<int>({direction, direction}));
            QCOMPARE(w.img_action->pixmap().toImage() == start, direction == kPcToPalm);
            if (direction != kPcToPalm) QCOMPARE(Checked(w) + Q(f.Row(1).install).left(4), QString("Ann1000"));
        }

        // The file columns select and nothing else.
        ClickCell(w, 2, 1), ClickCell(w, 1, 2);
        QCOMPARE(QList<int>({w.SelectedRow(), f.Row(1).direction, f.Row(2).direction}), QList<int>({1, kPcToPalm, kSync}));

        // The middle column turns the row's direction, on the selected row or on another, which it selects.
        ClickCell(w, 1, 0);
        QCOMPARE(QList<int>({w.SelectedRow(), Direction(w, 1), f.Row(1).direction}), QList<int>({1, kSync, kSync}));
        ClickCell(w, 2, 0);
        QCOMPARE(QList<int>({w.SelectedRow(), f.Row(2).direction, f.Row(1).direction}), QList<int>({2, kNone, kSync}));
        QCOMPARE(w.txt_pcfile->text(), QString("/t/b.txt"));
    }

    // --- New, Delete, Save Default -----------------------------------------------------

    void saveDefaultShapesNewDeleteSelectsNeighbourAndEmptyListPulsesNew() {
        Fixture f(3);
        f.Add("/texts/a.txt", "/custom/a.pdb", kPalmToPc, "0001");
        MainWindow& w = f.Open();
        const QRect normal = w.cmd_new->geometry();
        const QFont normalFont = w.cmd_new->font();
        // Save Default keeps the row's folders and settings, not its names.
        ClickCell(w, 4, 1), TypeOver(w.txt_tabspace, "8"), Click(w.cmd_savedefault);
        const lum2::TaskRecord settings = f.Settings();
        QCOMPARE(QStringList({Q(settings.pcfile), Q(settings.palmfile), Q(settings.install), Q(f.Row(4).pcfile)}),
                 QStringList({"/texts/", "/custom/", "0001", "/texts/a.txt"}));
        QCOMPARE(QList<int>({settings.direction, settings.tabspace}), QList<int>({kPalmToPc, 8}));

        // The last row: the new last row takes the selection. A row above others:
        // the next one moves up into its place.
        for (const auto& [row, next, pc] : {std::tuple{4, 3, PcName(3)}, std::tuple{1, 1, PcName(2)}}) {
            ClickCell(w, row, 1), Click(w.cmd_delete);
            QCOMPARE(QStringList({QString::number(w.SelectedRow()), w.txt_pcfile->text(), Q(f.Row(w.SelectedRow()).pcfile)}),
                     QStringList({QString::number(next), pc, pc}));
        }
        // The only row: the editor empties and locks, and New pulses.
        Click(w.cmd_delete), Click(w.cmd_delete);
        QCOMPARE(QList<int>({w.lvw_tasks->topLevelItemCount(), f.store.RecordCount(), w.SelectedRow()}), QList<int>({0, 2, 0}));
        QVERIFY(EditorLocked(w) && !w.cmd_convert->isEnabled());
        // A tick without a task changes no record.
        SetEntry(w, 1, true);
        QCOMPARE(Q(f.Settings().install) + Q(f.store.GetRecord(kClipboardRecord).install), QString("00011"));
        // Wait for the grown half of the pulse.
        QTRY_VERIFY_WITH_TIMEOUT(w.cmd_new->font().bold(), 2000);
        QVERIFY(w.cmd_new->geometry() != normal);

        // New stops the pulse and makes its task from the settings.
        Click(w.cmd_new);
        QVERIFY(!w.Timer1->isActive() && w.cmd_convert->isEnabled() && !w.txt_pcfile->isReadOnly());
        QVERIFY(w.cmd_new->geometry() == normal && w.cmd_new->font() == normalFont);
        QCOMPARE(QList<int>({f.store.RecordCount(), w.SelectedRow(), Direction(w, 1)}), QList<int>({3, 1, kPalmToPc}));
        QCOMPARE(QStringList({w.txt_pcfile->text(), Cell(w, 1, 1), Checked(w), w.txt_tabspace->text()}),
                 QStringList({"/texts/", "", "Custom", "8"}));
    }

    void connectorFollowsRowAfterHiddenStart() {
        Fixture f(3);
        MainWindow& w = f.Open(true);
        for (int row : {1, 2}) {
            if (row == 2) ClickCell(w, 2, 1);
            const QRect rect = w.lvw_tasks->visualItemRect(w.lvw_tasks->topLevelItem(row - 1));
            QVERIFY(w.shp_con->Linked());
            QCOMPARE(w.shp_con->RowTop(), w.lvw_tasks->viewport()->mapTo(&w, rect.topLeft()).y() - w.shp_con->y());
            QCOMPARE(w.shp_con->TargetY(), w.img_action->mapTo(&w, w.img_action->rect().center()).y() - w.shp_con->y());
        }
    }

    void droppedFilesBecomeNewTasks() {
        Fixture f;
        f.Add(f.Write("old.txt", "text\n"), f.Write("old.pdb", "old"), kPcToPalm, "0001");
        QStringList paths;
        for (const char* name : {"a.txt", "book.pdb", "palm/Bob/backup/memo.PRC", "page.HTM", "palm"}) {
            paths << Q(f.File(name));
            if (paths.size() < 5) f.Write(name, "text\n");
        }
        MainWindow& w = f.Open();
        // In the clipboard settings, and during a run, the list takes nothing.
        w.SetClipboardSettingsMode(true);
        QVERIFY(!DropFiles(w, paths));
        w.SetClipboardSettingsMode(false);
        bool taken = true;
        PromptAnswerer answerer({[&](QDialog* dialog) { taken = DropFiles(w, paths), Press(dialog, "cmd_stop"); }});
        Click(w.cmd_convert);
        QVERIFY(!taken && f.store.RecordCount() == 3);

        // Palm files become Palm-to-PC tasks, from a user's backup for that user; folders are left out.
        // A web page, whatever its letter case, has its markup stripped.
        // In paths "~/" is the home folder, "@" the test's folder.
        const struct { int direction; const char *pc, *palm, *install, *options; } rows[] = {
            {kPcToPalm, "@a.txt", "a.pdb", "1", "1100"}, {kPalmToPc, "~/book.txt", "@book.pdb", "0001", "1100"},
            {kPalmToPc, "~/memo.txt", "memo.PRC", "0100", "1100"}, {kPcToPalm, "@page.HTM", "page.pdb", "1", "1110"}};
        QVERIFY(DropFiles(w, paths));
        QCOMPARE(QList<int>({w.lvw_tasks->topLevelItemCount(), f.store.RecordCount(), w.SelectedRow()}), QList<int>({5, 7, 5}));
        for (int k = 0; k < 4; ++k) {
            const lum2::TaskRecord task = f.Row(k + 2);
            QCOMPARE(QList<int>({task.direction, Direction(w, k + 2)}), QList<int>(2, rows[k].direction));
            QCOMPARE(QStringList({Q(task.pcfile), Q(task.palmfile), Q(task.install).left(4), Q(task.options).left(4)}),
                     QStringList({f.Expand(rows[k].pc), f.Expand(rows[k].palm), rows[k].install, rows[k].options}));
        }
        QCOMPARE(w.lst_options->item(2)->checkState(), Qt::Checked);
    }

    // --- Keyboard ---------------------------------------------------------------------

    // Tab visits every control a mouse can reach, in reading order, and the
    // mnemonics' letters are the window's own, one each, on captions that read as before.
    void tabReachesEveryControlInReadingOrderAndMnemonicsAreUnique() {
        Fixture f(2);
        MainWindow& w = f.Open();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.lvw_tasks->setFocus();
        QStringList visited;
        for (QWidget* at = w.lvw_tasks; visited.size() < 40 && !visited.contains(at->objectName()); at = QApplication::focusWidget())
            visited << at->objectName(), Key(Qt::Key_Tab);
        QCOMPARE(visited, (QStringList{"lvw_tasks", "VScroll1", "txt_pcfile", "cmd_browsepcfile", "txt_pcfiledata", "img_action",
                                       "lst_options", "lst_install", "txt_palmfile", "cmd_browsepalmfile", "txt_palmfiledata",
                                       "txt_tabspace", "txt_category", "chk_autonaming", "chk_askoverwrite", "cmd_new", "cmd_delete",
                                       "cmd_savedefault", "cmd_convert", "cmd_clipsettings", "img_help", "cmd_exit", "txt_status"}));
        for (QWidget* control : w.findChildren<QWidget*>()) {
            const bool clickable = qobject_cast<QAbstractButton*>(control) || qobject_cast<QLineEdit*>(control) ||
                                   qobject_cast<QAbstractScrollArea*>(control) || qobject_cast<QAbstractSlider*>(control) ||
                                   qobject_cast<lum2::ui::ClickableLabel*>(control);
            if (clickable && control->isVisible() && control->parentWidget()->inherits("QAbstractScrollArea") == false)
                QVERIFY2(visited.contains(control->objectName()), qPrintable(control->objectName()));
        }

        QString letters;
        for (const QString& caption : w.findChildren<QAbstractButton*>() | std::views::transform(&QAbstractButton::text))
            if (caption.contains('&')) letters += caption.at(caption.indexOf('&') + 1).toLower();
        for (const QLabel* label : w.findChildren<QLabel*>())
            if (label->buddy() != nullptr) letters += label->text().at(label->text().indexOf('&') + 1).toLower();
        QCOMPARE(QSet<QChar>(letters.begin(), letters.end()).size(), letters.size());
        QCOMPARE(letters.size(), 16);
        QCOMPARE(w.cmd_convert->text() + w.cmd_clipsettings->text(), QString("ConvertClip Setup"));

        // Alt and a label's letter goes to its box; a switch's letter flips it.
        const struct { int key; QWidget* focus; } jumps[] = {{Qt::Key_L, w.txt_palmfile}, {Qt::Key_G, w.txt_category},
                                                              {Qt::Key_I, w.lst_install}, {Qt::Key_K, w.chk_askoverwrite}};
        for (const auto& jump : jumps) {
            Key(jump.key, Qt::AltModifier);
            QCOMPARE(QApplication::focusWidget(), jump.focus);
        }
        QTRY_VERIFY(!AskOverwrite(f.Settings()) && !w.chk_askoverwrite->isChecked());
    }

    void shortcutsDoWhatTheirButtonsDo() {
        Fixture f;
        f.Add(f.File("big.txt"), f.File("big.pdb"), kPcToPalm, "0001");
        f.Add(f.File("small.txt"), f.File("small.pdb"), kPcToPalm, "0001");
        MainWindow& w = f.Open();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QSignalSpy help(&w, &MainWindow::helpRequested);

        // New anywhere; Delete deletes a task only from the list, in a box it deletes a letter.
        w.txt_pcfile->setFocus(), w.txt_pcfile->home(false), Key(Qt::Key_N, Qt::ControlModifier);
        w.lvw_tasks->setFocus(), Key(Qt::Key_Delete);
        w.txt_pcfile->setFocus(), w.txt_pcfile->home(false), Key(Qt::Key_Delete);
        QCOMPARE(QList<int>({w.lvw_tasks->topLevelItemCount(), f.store.RecordCount(), w.SelectedRow()}), QList<int>({2, 4, 2}));
        QCOMPARE(Q(f.Row(1).pcfile), Q(f.File("big.txt")));
        QCOMPARE(Q(f.Row(2).pcfile), Q(f.File("small.txt")).mid(1));

        // F1 anywhere, Space or Return on the help sign, which shows it has the focus.
        const QImage unfocused = w.img_help->grab().toImage();
        Key(Qt::Key_F1), w.cmd_clipsettings->setFocus(), Key(Qt::Key_Tab), Key(Qt::Key_Space), Key(Qt::Key_Return);
        QCOMPARE(help.size(), 3);
        QVERIFY(w.img_help->hasFocus() && w.img_help->grab().toImage() != unfocused);
        // Escape outside a run starts nothing.
        Key(Qt::Key_Escape);
        QCOMPARE(Cell(w, 1, 0), QString());
    }

    // --- Scroll bar -------------------------------------------------------------------

    void longListScrollsWithSelectionNewDeleteAndRun() {
        Fixture f(40);
        MainWindow& w = f.Open();
        int k = w.RowsPerPage();
        QVERIFY2(k >= 3 && k < 24, qPrintable(QString("rows per page: %1").arg(k)));
        QCOMPARE(View(w) << w.VScroll1->minimum() << w.VScroll1->pageStep(), QList<int>({1, 1, 1, 40 - k + 1, 1, k - 1}));
        QCOMPARE(w.txt_pcfile->text(), PcName(1));

        // Row 1 leaves the page: still selected, but the editor empties and locks.
        w.VScroll1->setValue(3);
        QCOMPARE(View(w).mid(0, 2), QList<int>({1, 3}));
        QVERIFY(EditorLocked(w) && Q(f.Row(1).pcfile) == PcName(1));
        // Another row taken meanwhile; row 1 comes back into view unselected, row 5
        // comes back from above the page as the last visible row.
        ClickCell(w, 5, 1), w.VScroll1->setValue(1);
        QCOMPARE(QList<int>({w.SelectedRow(), w.txt_pcfile->isReadOnly()}), QList<int>({5, 0}));
        w.VScroll1->setValue(6), w.VScroll1->setValue(std::max(1, 5 - k + 1));
        QCOMPARE(w.txt_pcfile->text(), PcName(5));

        // Arrow keys on the page's edge scroll one row.
        const int last = 2 + k - 1;
        w.VScroll1->setValue(2), ClickCell(w, last, 1);
        w.lvw_tasks->setFocus(), QTest::keyClick(w.lvw_tasks, Qt::Key_Down);
        QCOMPARE(View(w).mid(0, 3), QList<int>({last + 1, 3, 3}));
        QCOMPARE(w.txt_pcfile->text(), PcName(last + 1));
        ClickCell(w, 3, 1), QTest::keyClick(w.lvw_tasks, Qt::Key_Up);
        QCOMPARE(View(w).mid(0, 2), QList<int>({2, 2}));
        QCOMPARE(w.txt_pcfile->text(), PcName(2));

        // New far below the page: the list scrolls to the new row.
        Click(w.cmd_new);
        QCOMPARE(View(w), QList<int>({41, 41 - k + 1, 41 - k + 1, 41 - k + 1}));
        // Deleting at the bottom: the row above takes over, still in view.
        Click(w.cmd_delete), Click(w.cmd_delete);
        QCOMPARE(View(w), QList<int>({39, 39 - k + 1, 39 - k + 1, 39 - k + 1}));
        QCOMPARE(w.txt_pcfile->text(), PcName(39));

        // A run shows every task in the editor while it runs (none of the files exist).
        int checks = 0, shownOutOfView = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!w.RunActive()) return;
            ++checks, shownOutOfView += !w.SelectedTaskVisible() || w.txt_pcfile->text() != PcName(w.SelectedRow());
        });
        poll.start(0), Click(w.cmd_convert), poll.stop();
        QVERIFY(checks > 0 && shownOutOfView == 0);
        QCOMPARE(View(w), QList<int>({39, 39 - k + 1, 39 - k + 1, 39 - k + 1}));
        QCOMPARE(Cell(w, 1, 0) + Cell(w, 39, 0), QString(" ? ?"));

        // A taller window holds more rows; the range follows.
        w.resize(w.width(), w.height() + 2 * w.lvw_tasks->visualItemRect(w.lvw_tasks->topLevelItem(0)).height());
        QTRY_VERIFY(w.RowsPerPage() > k);
        k = w.RowsPerPage();
        QCOMPARE(QList<int>({w.VScroll1->maximum(), w.VScroll1->pageStep()}), QList<int>({39 - k + 1, k - 1}));
        // Deleting rows shrinks the range down to 1..1, fewer rows than a page included.
        for (int n = 39; n >= 1; --n) {
            Click(w.cmd_delete);
            QCOMPARE(w.VScroll1->maximum(), std::max(1, (n - 1) - k + 1));
        }
        QCOMPARE(QList<int>({w.VScroll1->minimum(), w.VScroll1->pageStep()}), QList<int>({1, k - 1}));
    }

    // --- Run --------------------------------------------------------------------------

    void runMarksRowsAndStoresStatuses() {
        Fixture f;
        const std::string one = f.Write("one.txt", SampleText(5000));
        f.Add(one, f.File("missing.pdb"), kPalmToPc, "0001");  // no Palm file
        f.Add(one, f.File("none.pdb"), kNone, "0001");         // nothing to do
        f.Add(one, "shared.pdb", kPcToPalm, "0110");           // Bob and Cid
        f.Add(one, f.File("one.pdb"), kPcToPalm, "0001");
        MainWindow& w = f.Open();
        QSignalSpy tray(&w, &MainWindow::trayIconChanged);
        Click(w.cmd_convert);
        QCOMPARE(QStringList({Cell(w, 1, 0), Cell(w, 2, 0), Cell(w, 3, 0), Cell(w, 4, 0), Q(f.Row(1).status), Q(f.Row(2).status)}),
                 QStringList({" ?", " -", " OK", " OK", "Error: Palm File does not exist", ""}));
        // The run goes to the users the row had checked, and only to them.
        for (const char* user : kUsers)
            QCOMPARE(std::filesystem::exists(f.File("palm/") + user + "/install/shared.pdb"), user[0] != 'A');
        QCOMPARE(w.txt_status->text() + "|" + w.cmd_convert->text(), QString("OK|Convert"));
        QCOMPARE(tray.last(),
                 (QVariantList{QVariant::fromValue(lum2::TrayPicture::kErrors), "LUM2\r\n- see list for errors"}));
        // The window is usable again, the file's box refreshed.
        QVERIFY(w.SelectedRow() == 4 && !w.txt_pcfile->isReadOnly() && w.lvw_tasks->isEnabled() && w.cmd_new->isEnabled());
        const QString info = w.txt_palmfiledata->toPlainText();
        QVERIFY2(w.VScroll1->isEnabled() && info.endsWith(" Byte") && !info.contains(QLatin1Char('\r')), qPrintable(info));
    }

    void stopAtPromptThenDoNotAskAgainStopsAsking() {
        Fixture f;
        const std::string a = f.Write("a.txt", SampleText(3000));
        f.Add(a, f.Write("a.pdb", "old"), kPcToPalm, "0001");
        f.Add(a, f.File("b.pdb"), kPcToPalm, "0001", [](lum2::TaskRecord& t) { t.status = "earlier"; });
        MainWindow& w = f.Open();

        // Stop at the first prompt: that task and the rest stay as they were.
        QString caption;
        PromptAnswerer answerer({[&](QDialog* dialog) { caption = w.cmd_convert->text(), Press(dialog, "cmd_stop"); },
                                 [](QDialog* d) { Press(d, "chk_notaskagain"), Press(d, "chk_notaskagain"), Press(d, "cmd_yes"); },
                                 [](QDialog* d) { Press(d, "cmd_skip"); }});
        Click(w.cmd_convert);
        QCOMPARE(answerer.names, QStringList{"frmOvwDialog"});
        QCOMPARE(QStringList({caption, w.cmd_convert->text(), Cell(w, 1, 0), Q(f.Row(1).status), Cell(w, 2, 0),
                              Q(f.Row(2).status)}),
                 QStringList({"Stop", "Convert", " -", "User stopped conversion", "", "earlier"}));

        // The user ticks and unticks "do not ask again" before answering; that
        // still switches asking off for good, so the second file is replaced unasked.
        f.Write("b.pdb", "old");
        Click(w.cmd_convert);
        QCOMPARE(answerer.names.size(), 2);
        QVERIFY(!w.chk_askoverwrite->isChecked() && !AskOverwrite(f.Settings()));
        QCOMPARE(Q(f.Row(1).status) + Q(f.Row(2).status), QString("OKOK"));
    }

    void runButtonOrItsKeysStopAfterTheCurrentTask() {
        Fixture f;
        f.Add(f.Write("big.txt", SampleText(3 * 1024 * 1024)), f.File("big.pdb"), kPcToPalm, "0001");
        f.Add(f.Write("small.txt", SampleText(2000)), f.File("small.pdb"), kPcToPalm, "0001");
        MainWindow& w = f.Open();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));

        // The run button, Escape or Ctrl+Return pressed while the first task's
        // progress shows (the run started by click or Ctrl+Return); a run asked
        // for meanwhile (a later copy's "-s") neither starts nor stops one.
        for (const int key : {0, int(Qt::Key_Escape), int(Qt::Key_Return)}) {
            const auto press = [&](int pressed) {
                pressed == 0 ? Click(w.cmd_convert) : Key(pressed, pressed == Qt::Key_Return ? Qt::ControlModifier : Qt::NoModifier);
            };
            QString before, after;
            bool secondRun = true;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (!w.RunActive() || !w.ProgressBar1->isVisible() || w.ProgressBar1->value() < 1) return;
                poll.stop(), secondRun = w.RunTaskList(), before = w.cmd_convert->text();
                press(key), after = w.cmd_convert->text();
            });
            poll.start(1), w.lvw_tasks->setFocus(), press(key == 0 ? 0 : int(Qt::Key_Return));
            QVERIFY(!secondRun);
            QCOMPARE(QStringList({before, after, w.cmd_convert->text(), Cell(w, 1, 0), Q(f.Row(1).status), Cell(w, 2, 0),
                                  Q(f.Row(2).status)}),
                     QStringList({"Stop", "Wait", "Convert", " OK", "OK", "", ""}));
            if (key == 0) Click(w.chk_askoverwrite);  // the later runs replace the first task's file unasked
        }

        // The next run goes through.
        Click(w.cmd_convert);
        QCOMPARE(Q(f.Row(2).status), QString("OK"));
    }

    // --- Preview ----------------------------------------------------------------------

    void previewShowsTheHandheldTextAndJumpsToItsBookmarks() {
        Fixture f;
        // A new task converts UTF-8 to the Palm set and makes bookmarks of chapters.
        const std::string text = "CHAPTER I.\n\nCaf\xC3\xA9 first.\n\nCHAPTER II.\n\nSecond.\n";
        f.Add(f.Write("book.txt", text), f.File("book.pdb"), kPcToPalm, "0001");
        MainWindow& w = f.Open();
        QVERIFY(w.RunTaskList());
        ClickCell(w, 1, 1);
        w.PreviewSelectedTask();
        lum2::ui::PreviewWindow* preview = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<lum2::ui::PreviewWindow*>(widget)) preview = found;
        QVERIFY(preview != nullptr);
        // One Palm byte, one character: the offsets are places in the shown text.
        const QString shown = preview->TextView()->toPlainText();
        QCOMPARE(shown, QString::fromUtf8("CHAPTER I.\n\nCaf\u00E9 first.\n\nCHAPTER II.\n\nSecond.\n"));
        QCOMPARE(preview->BookmarkList()->count(), 2);
        QCOMPARE(preview->BookmarkList()->item(1)->text(), QString("CHAPTER II."));
        preview->BookmarkList()->setCurrentRow(1);
        QCOMPARE(preview->TextView()->textCursor().position(), shown.indexOf("CHAPTER II."));
        QVERIFY(preview->TextView()->isReadOnly());
        preview->close();
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
