// frmMain driven as a user drives it: typing into the editor, ticking the
// install list, clicking rows, the scroll bar and the run button, then
// reading back what lumdata.dat holds. Each test builds its own store, HotSync
// users "Ann", "Bob" and "Cid" in a temp folder, and a fresh window.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/static_codec.h"
#include "engine/temp_dir.h"
#include "hotsync/install_targets.h"
#include "hotsync/user_directory.h"
#include "tasks/record_store.h"
#include "tasks/task_record.h"
#include "ui/connector_widget.h"
#include "ui/main_window.h"

using lum2::ui::MainWindow;

namespace {

constexpr int kSettings = 1;
constexpr int kCustomEntry = 3;  // "Custom" follows the users
const QString kHomeFolder = QDir::homePath() + QLatin1Char('/');
const char* const kUsers[] = {"Ann", "Bob", "Cid"};

// The three users, each with a folder <root>/<name> holding backup/.
class FakeUsers : public lum2::UserDirectory {
public:
    explicit FakeUsers(std::string root) : root_(std::move(root)) {}
    int UserCount() override { return 3; }
    std::string RootFolder() override { return root_; }
    int UserIdAt(int position) override { return position >= 0 && position < 3 ? 100 + position : 0; }
    void SelectUser(int id) override {
        if (id < 100 || id >= 103) throw lum2::UserDirectoryError("no user " + std::to_string(id));
        current_ = id - 100;
    }
    std::string UserName() override { return kUsers[current_]; }
    std::string UserFolder() override { return kUsers[current_]; }
    bool IsProfile() override { return false; }
    void InstallFile(const std::string& path) override { installed.emplace_back(kUsers[current_], path); }

    std::vector<std::pair<std::string, std::string>> installed;  // (user, path)

private:
    std::string root_;
    int current_ = 0;
};

// One store, one set of users and one window.
class Fixture {
public:
    Fixture() : users(dir.Path() + "palm/"), targets_(&users) {
        for (const char* name : kUsers) std::filesystem::create_directories(dir.Path() + "palm/" + name + "/backup");
        targets_.FillInstallList();
        store.OpenStore(dir.Path());
    }
    ~Fixture() {
        window.reset();
        store.Close();
    }

    // A task as "New" would make it from the settings, with these values.
    lum2::TaskRecord Task(const std::string& pc, const std::string& palm, int direction, const std::string& install) {
        lum2::TaskRecord task = store.GetRecord(kSettings);
        task.pcfile = pc;
        task.palmfile = palm;
        task.direction = static_cast<int16_t>(direction);
        task.install = install;
        task.status.clear();
        task.taskid = store.NewTaskId();
        return task;
    }
    void Add(const lum2::TaskRecord& task) { store.PutRecord(store.RecordCount() + 1, task); }
    void Add(const std::string& pc, const std::string& palm, int direction, const std::string& install = "1") {
        Add(Task(pc, palm, direction, install));
    }
    // A store of count tasks named /t/pc<n>.txt / palm<n>.pdb.
    void AddNumbered(int count, int direction = lum2::kDirectionPcToPalm) {
        for (int n = 1; n <= count; ++n) {
            Add("/t/pc" + std::to_string(n) + ".txt", "palm" + std::to_string(n) + ".pdb", direction);
        }
    }
    void ChangeSettings(const std::function<void(lum2::TaskRecord&)>& change) {
        lum2::TaskRecord settings = store.GetRecord(kSettings);
        change(settings);
        store.PutRecord(kSettings, settings);
    }
    lum2::TaskRecord Row(int row) const { return store.GetRecord(row + 2); }
    lum2::TaskRecord Settings() const { return store.GetRecord(kSettings); }
    std::string File(const std::string& name) const { return dir.File(name); }
    std::string UserFile(const std::string& user, const std::string& name) const {
        return dir.Path() + "palm/" + user + "/backup/" + name;
    }

    // Brings the window up the way the program does: shown, then started.
    // With hiddenStart, the way a start hidden in the tray does: started, then restored.
    MainWindow& Open(bool hiddenStart = false) {
        window = std::make_unique<MainWindow>(MainWindow::Services{dir.Path(), &store, &targets_, &codec_});
        if (hiddenStart) {
            window->StartUp(false);
            window->RefreshTaskView(3);
        }
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) qWarning("window not exposed");
        if (!hiddenStart) window->StartUp();
        QCoreApplication::processEvents();
        return *window;
    }

    lum2::test::TempDir dir;
    lum2::RecordStore store;
    std::unique_ptr<MainWindow> window;
    FakeUsers users;

private:
    lum2::InstallTargets targets_;
    lum2::CodecFunctions codec_ = lum2::test::StaticCodec();
};

QString Q(const std::string& text) { return QString::fromStdString(text); }
QString PcName(int n) { return QString("/t/pc%1.txt").arg(n); }

template <typename T>
T* Find(QWidget& parent, const char* name) {
    T* widget = parent.findChild<T*>(QLatin1String(name));
    if (widget == nullptr) qFatal("no control %s", name);
    return widget;
}

QLineEdit* Edit(MainWindow& window, const char* name) { return Find<QLineEdit>(window, name); }
QString Info(MainWindow& window, const char* name) { return Find<QPlainTextEdit>(window, name)->toPlainText(); }
QTreeWidget* List(MainWindow& window) { return Find<QTreeWidget>(window, "lvw_tasks"); }
QListWidget* Install(MainWindow& window) { return Find<QListWidget>(window, "lst_install"); }
void Click(MainWindow& window, const char* button) { QTest::mouseClick(Find<QPushButton>(window, button), Qt::LeftButton); }
void ClickPicture(MainWindow& window) { QTest::mouseClick(Find<QLabel>(window, "img_action"), Qt::LeftButton); }

// Replaces the box's text by typing, as a user selecting all and typing over it.
void TypeOver(QLineEdit* box, const QString& text) {
    box->selectAll();
    if (text.isEmpty()) {
        QTest::keyClick(box, Qt::Key_Backspace);
    } else {
        QTest::keyClicks(box, text);
    }
}

// Clicks a row's cell; column is the logical one (0 = Sync, shown in the middle).
void ClickCell(MainWindow& window, int row, int column, Qt::KeyboardModifiers modifiers = {}) {
    QTreeWidget* list = List(window);
    const int x = list->header()->sectionViewportPosition(column) + list->columnWidth(column) / 2;
    const int y = list->visualItemRect(list->topLevelItem(row - 1)).center().y();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, QPoint(x, y));
}

// The checked install entries, e.g. "Ann+Bob".
QString Checked(MainWindow& window) {
    QStringList names;
    QListWidget* list = Install(window);
    for (int k = 0; k < list->count(); ++k) {
        if (list->item(k)->checkState() == Qt::Checked) names << list->item(k)->text();
    }
    return names.join(QLatin1Char('+'));
}

// Ticks or unticks entry k as a click on its box does.
void SetEntry(MainWindow& window, int k, bool checked) {
    Install(window)->item(k)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

int Direction(MainWindow& window, int row) { return List(window)->topLevelItem(row - 1)->data(0, Qt::UserRole).toInt(); }
QString Cell(MainWindow& window, int row, int column) { return List(window)->topLevelItem(row - 1)->text(column); }

// Drags files onto the task list and drops them; true when the list took the drag.
bool DropFiles(MainWindow& window, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    QWidget* viewport = List(window)->viewport();
    const QPoint at = viewport->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    return enter.isAccepted();
}

// About size bytes of ordinary text in short lines.
std::string SampleText(std::size_t size) {
    std::string text;
    for (int n = 0; text.size() < size; ++n) {
        text += "line " + std::to_string(n) + (n % 3 ? " the quick brown fox\n" : " jumps over a lazy dog while Palm documents travel\n");
    }
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
            handled_ = dialog;
            names << dialog->objectName();
            QPointer<QDialog> guard(dialog);
            QTimer::singleShot(3000, dialog, [guard] {
                if (guard && guard->isVisible()) {
                    qWarning("prompt left open, rejecting it");
                    guard->reject();
                }
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

// Clicks a prompt's button or check box.
template <typename T>
void Press(QDialog* dialog, const char* name) {
    if (auto* control = dialog->findChild<T*>(QLatin1String(name))) {
        QTest::mouseClick(control, Qt::LeftButton);
    } else {
        qWarning("no control %s in the prompt", name);
        dialog->reject();
    }
}

// The last (image, tip) the window sent to the tray.
std::pair<int, QString> LastTray(const QSignalSpy& spy) {
    if (spy.isEmpty()) return {0, QString()};
    return {spy.last().at(0).toInt(), spy.last().at(1).toString()};
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void numberBoxesClampAndStore();
    void autoNamingFollowsDirection();
    void autoNamingIntoCustomFolder();
    void autoNamingOffRenamesNothing();
    void fileInfoTexts();
    void palmDialogFilterCaptionAndPatterns();
    void pathLongerThanItsFieldIsRefused();

    void installUsersCombineOnlyForPcToPalm();
    void installCustomStandsAloneAndCarriesFolder();
    void installListNeverEmptyAndKeepsLaterCharacters();
    void installCheckWithoutTaskChangesNothing();
    void utf8OptionIsTheSeventhAndTheClipboardFollowsIt();

    void directionPictureCyclesAndKeepsFirstUser();
    void directionColumnCyclesRowAndFileColumnsOnlySelect();

    void emptyListPulsesNewUntilATaskExists();
    void connectorFollowsRowAfterHiddenStart();
    void storeSetAsideIsShownInStatusLine();
    void deleteSelectsNeighbourAndEmptiesEditor();
    void saveDefaultGivesNextNewItsFolders();
    void droppedFilesBecomeNewTasks();

    void scrollBarRangeFollowsPage();
    void scrollingSelectionAwayClearsEditor();
    void arrowKeysOnPageEdgeScrollOneRow();
    void newAndDeleteOnLongListKeepSelectionInView();
    void runScrollsEachTaskIntoView();

    void runMarksRowsAndStoresStatuses();
    void runWithoutErrorsReportsOk();
    void stopAtPromptEndsRun();
    void anyClickOnDoNotAskAgainStopsAsking();
    void stopButtonFinishesCurrentTask();
};

// --- Editor -------------------------------------------------------------------

void MainWindowTest::numberBoxesClampAndStore() {
    Fixture f;
    f.Add(f.File("a.txt"), "a.pdb", lum2::kDirectionPcToPalm);
    MainWindow& w = f.Open();
    QLineEdit* tab = Edit(w, "txt_tabspace");
    QLineEdit* category = Edit(w, "txt_category");
    QCOMPARE(tab->text(), QString("4"));

    // TAB width 0..64, category 0..15, two digits at most, not a number is 0.
    const struct {
        QLineEdit* box;
        const char* typed;
        const char* shown;
        int stored;
    } cases[] = {
        {tab, "99", "64", 64},       {tab, "-5", "0", 0},         {tab, "123", "12", 12},
        {tab, "x", nullptr, 0},      {category, "20", "15", 15},  {category, "ab", nullptr, 0},
        {category, "999", "15", 15},
    };
    for (const auto& c : cases) {
        TypeOver(c.box, c.typed);
        if (c.shown != nullptr) QCOMPARE(c.box->text(), QString(c.shown));
        QCOMPARE(int(c.box == tab ? f.Row(1).tabspace : f.Row(1).category), c.stored);
    }
    // The settings record is not what the boxes edit.
    QCOMPARE(int(f.Settings().tabspace), 4);
    QCOMPARE(int(f.Settings().category), 0);
}

void MainWindowTest::autoNamingFollowsDirection() {
    Fixture f;
    f.Add("", "", lum2::kDirectionPcToPalm);
    f.Add("", "", lum2::kDirectionPalmToPc);
    MainWindow& w = f.Open();
    QVERIFY(Find<QCheckBox>(w, "chk_autonaming")->isChecked());
    QLineEdit* pc = Edit(w, "txt_pcfile");
    QLineEdit* palm = Edit(w, "txt_palmfile");

    // PC to Palm: the Palm name follows the PC name.
    QTest::keyClicks(pc, "/docs/report.txt");
    QCOMPARE(palm->text(), QString("report.pdb"));
    QCOMPARE(Cell(w, 1, 2), QString("report.pdb"));
    QCOMPARE(Q(f.Row(1).pcfile), QString("/docs/report.txt"));
    QCOMPARE(Q(f.Row(1).palmfile), QString("report.pdb"));

    // Typing a Palm name: ".pdb" joins a name without one, the cursor stays
    // in front of it, and the PC name does not follow in this direction.
    TypeOver(palm, "a");
    QCOMPARE(palm->text(), QString("a.pdb"));
    QCOMPARE(palm->cursorPosition(), 1);
    QCOMPARE(pc->text(), QString("/docs/report.txt"));
    QTest::keyClicks(palm, "bc");
    QCOMPARE(Q(f.Row(1).palmfile), QString("abc.pdb"));
    palm->setText("a.b");
    QCOMPARE(palm->text(), QString("a.b"));

    // Palm to PC: the PC name follows, in the home folder while neither the
    // task nor the settings name a PC folder.
    ClickCell(w, 2, 1);
    QCOMPARE(pc->text(), QString());
    QTest::keyClicks(palm, "memo");
    QCOMPARE(palm->text(), QString("memo.pdb"));
    QCOMPARE(Q(f.Row(2).pcfile), kHomeFolder + "memo.txt");
    // The PC folder already typed stays; typing a PC name renames nothing.
    pc->setText("/texts/old.txt");
    TypeOver(palm, "note");
    QCOMPARE(pc->text(), QString("/texts/note.txt"));
    TypeOver(pc, "/texts/other.txt");
    QCOMPARE(palm->text(), QString("note.pdb"));

    // Sync: whichever name was typed last leads.
    ClickPicture(w);
    ClickPicture(w);
    QCOMPARE(int(f.Row(2).direction), int(lum2::kDirectionSync));
    TypeOver(pc, "/texts/synced.txt");
    QCOMPARE(palm->text(), QString("synced.pdb"));
    TypeOver(palm, "back");
    QCOMPARE(Q(f.Row(2).pcfile), QString("/texts/back.txt"));
    QCOMPARE(Q(f.Row(2).palmfile), QString("back.pdb"));
}

void MainWindowTest::autoNamingIntoCustomFolder() {
    // New takes the settings' custom folder, or the home folder without one.
    for (const bool withFolder : {true, false}) {
        Fixture f;
        const std::string custom = withFolder ? f.File("custom/") : std::string();
        f.ChangeSettings([&](lum2::TaskRecord& s) {
            s.palmfile = custom;
            s.install = "0001";
            s.direction = lum2::kDirectionPcToPalm;
        });
        MainWindow& w = f.Open();
        Click(w, "cmd_new");
        QCOMPARE(Checked(w), QString("Custom"));
        QTest::keyClicks(Edit(w, "txt_pcfile"), "report.txt");
        const QString expected = (withFolder ? Q(custom) : kHomeFolder) + "report.pdb";
        QCOMPARE(Edit(w, "txt_palmfile")->text(), expected);
        QCOMPARE(Q(f.Row(1).palmfile), expected);
    }
    // The user emptied the Palm text: the settings' custom folder.
    Fixture f;
    f.ChangeSettings([&](lum2::TaskRecord& s) { s.palmfile = "/custom/dir/"; });
    f.Add("/texts/old.txt", "/custom/dir/old.pdb", lum2::kDirectionPcToPalm, "0001");
    MainWindow& w = f.Open();
    TypeOver(Edit(w, "txt_palmfile"), "");
    TypeOver(Edit(w, "txt_pcfile"), "/texts/report.txt");
    QCOMPARE(Edit(w, "txt_palmfile")->text(), QString("/custom/dir/report.pdb"));
}

void MainWindowTest::autoNamingOffRenamesNothing() {
    Fixture f;
    f.Add("/texts/keep.txt", "keep.pdb", lum2::kDirectionPcToPalm);
    f.Add("/texts/also.txt", "also.pdb", lum2::kDirectionPalmToPc);
    MainWindow& w = f.Open();
    auto* naming = Find<QCheckBox>(w, "chk_autonaming");
    QTest::mouseClick(naming, Qt::LeftButton);
    QCOMPARE(f.Settings().switch1, false);

    TypeOver(Edit(w, "txt_pcfile"), "/texts/report.txt");
    QCOMPARE(Edit(w, "txt_palmfile")->text(), QString("keep.pdb"));
    TypeOver(Edit(w, "txt_palmfile"), "a");
    QCOMPARE(Q(f.Row(1).palmfile), QString("a"));

    ClickCell(w, 2, 2);
    TypeOver(Edit(w, "txt_palmfile"), "memo.pdb");
    QCOMPARE(Q(f.Row(2).pcfile), QString("/texts/also.txt"));

    QTest::mouseClick(naming, Qt::LeftButton);
    QCOMPARE(f.Settings().switch1, true);
}

void MainWindowTest::fileInfoTexts() {
    Fixture f;
    const std::string big = f.UserFile("Ann", "big.pdb");
    lum2::test::WriteFileText(big, std::string(1234567, 'x'));
    const QDateTime stamp(QDate(2021, 3, 5), QTime(14, 7));
    {
        QFile file(Q(big));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
    }
    const std::string text = f.File("story.txt");
    lum2::test::WriteFileText(text, std::string(999, 'x'));

    f.Add(text, "book.pdb", lum2::kDirectionPcToPalm, "1100");                // 1: two users
    f.Add(text, "big.pdb", lum2::kDirectionPalmToPc, "1000");                 // 2: Ann's file
    f.Add(f.File("gone.txt"), "gone.pdb", lum2::kDirectionPalmToPc, "1000");  // 3: missing files
    f.Add("/texts/", "", lum2::kDirectionPcToPalm, "0100");                   // 4: no names
    f.Add(text, big, lum2::kDirectionPcToPalm, "0001");                       // 5: Custom, full path
    MainWindow& w = f.Open();

    const QString expectedBig = QLocale().toString(stamp, QLocale::ShortFormat) + "\n1,234,567 Byte";
    QCOMPARE(Info(w, "txt_palmfiledata"), QString("Distribute Mode"));
    QVERIFY(Info(w, "txt_pcfiledata").endsWith("\n999 Byte"));
    ClickCell(w, 2, 1);
    QCOMPARE(Info(w, "txt_palmfiledata"), expectedBig);
    ClickCell(w, 3, 1);
    QCOMPARE(Info(w, "txt_palmfiledata"), QString("New File"));
    QCOMPARE(Info(w, "txt_pcfiledata"), QString("New File"));
    ClickCell(w, 4, 1);
    QCOMPARE(Info(w, "txt_palmfiledata"), QString("Browse or Enter Filename"));
    QCOMPARE(Info(w, "txt_pcfiledata"), QString("Browse or Enter Filename"));
    ClickCell(w, 5, 1);
    QCOMPARE(Info(w, "txt_palmfiledata"), expectedBig);

    // Typing updates the box at once: Bob has no such file, Ann has.
    ClickCell(w, 4, 1);
    QTest::keyClicks(Edit(w, "txt_palmfile"), "big");
    QCOMPARE(Info(w, "txt_palmfiledata"), QString("New File"));
    SetEntry(w, 0, true);
    QCOMPARE(Info(w, "txt_palmfiledata"), QString("Distribute Mode"));
    SetEntry(w, 1, false);
    QCOMPARE(Checked(w), QString("Ann"));
    QCOMPARE(Info(w, "txt_palmfiledata"), expectedBig);
}

// --- Install list -------------------------------------------------------------

void MainWindowTest::palmDialogFilterCaptionAndPatterns() {
    Fixture f;
    f.Add("", f.File("a.pdb"), lum2::kDirectionPalmToPc, "0001");
    MainWindow& w = f.Open();
    QStringList captions;
    QStringList patterns;
    PromptAnswerer answerer({[&](QDialog* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        captions = files->nameFilters();
        files->selectNameFilter(captions.value(1));
        patterns = files->findChild<QFileSystemModel*>()->nameFilters();
        dialog->reject();
    }});
    Click(w, "cmd_browsepalmfile");
    QCOMPARE(captions, (QStringList{"All (*)", "Palm Files(*.prc *.pdb)", "Palm PRC (*.prc)", "Palm PDP (*.pdb)"}));
    QCOMPARE(patterns, (QStringList{"*.prc", "*.pdb"}));
}

void MainWindowTest::pathLongerThanItsFieldIsRefused() {
    Fixture f;
    f.Add("/t/a.txt", "a.pdb", lum2::kDirectionNone);
    MainWindow& w = f.Open();
    QLineEdit* pc = Edit(w, "txt_pcfile");
    QLineEdit* status = Edit(w, "txt_status");
    const QString longest = "/t/" + QString(505, 'p') + ".txt";  // 512 bytes, the field's width
    pc->setText(longest);
    QCOMPARE(Q(f.Row(1).pcfile), longest);

    // One byte more, typed, or pasted as a two-byte letter, is refused: the
    // box and the record keep the path they had, and the status line says why.
    pc->end(false);
    QTest::keyClick(pc, 'x');
    QCOMPARE(pc->text(), longest);
    QVERIFY2(status->text().contains("PC File path is longer than 512 bytes"), qPrintable(status->text()));
    status->clear();
    const QString shorter = longest.chopped(1);
    pc->setText(shorter);
    QApplication::clipboard()->setText(QString::fromUtf8("\u00e9"));
    pc->end(false);
    pc->paste();
    QCOMPARE(pc->text(), shorter);
    QCOMPARE(Q(f.Row(1).pcfile), shorter);
    QVERIFY(status->text().contains("longer than 512 bytes"));

    // A file chosen in the dialog whose path is too long: the same.
    status->clear();
    const std::string deep = f.File(std::string(200, 'd') + "/" + std::string(200, 'e'));
    std::filesystem::create_directories(deep);
    PromptAnswerer answerer({[&](QDialog* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        files->setDirectory(Q(deep));
        files->selectFile(QString(150, 'n'));
        dialog->accept();  // as the Open button does
    }});
    Click(w, "cmd_browsepcfile");
    QCOMPARE(pc->text(), shorter);
    QCOMPARE(Q(f.Row(1).pcfile), shorter);
    QVERIFY(status->text().contains("PC File path is longer than 512 bytes"));

    // The clipboard settings' Palm file likewise.
    Click(w, "cmd_clipsettings");
    QLineEdit* palm = Edit(w, "txt_palmfile");
    QApplication::clipboard()->setText("/" + QString(512, 'c'));
    palm->selectAll();
    palm->paste();
    QCOMPARE(palm->text(), QString("clipboard.pdb"));
    QCOMPARE(Q(f.store.GetRecord(2).palmfile), QString("clipboard.pdb"));
    QVERIFY(status->text().contains("Palm File path is longer than 512 bytes"));
}

void MainWindowTest::installUsersCombineOnlyForPcToPalm() {
    Fixture f;
    f.Add("/t/a.txt", "book.pdb", lum2::kDirectionPcToPalm, "1100");
    f.Add("/t/b.txt", "book.pdb", lum2::kDirectionPalmToPc, "1000");
    MainWindow& w = f.Open();
    QCOMPARE(Checked(w), QString("Ann+Bob"));

    // PC to Palm: users add up, and unchecking one leaves the others.
    SetEntry(w, 2, true);
    QCOMPARE(Checked(w), QString("Ann+Bob+Cid"));
    QCOMPARE(Q(f.Row(1).install).left(4), QString("1110"));
    SetEntry(w, 0, false);
    QCOMPARE(Checked(w), QString("Bob+Cid"));
    QCOMPARE(Q(f.Row(1).install).left(4), QString("0110"));
    QCOMPARE(Edit(w, "txt_palmfile")->text(), QString("book.pdb"));

    // Palm to PC reads from one user only.
    ClickCell(w, 2, 1);
    QCOMPARE(Checked(w), QString("Ann"));
    SetEntry(w, 1, true);
    QCOMPARE(Checked(w), QString("Bob"));
    QCOMPARE(Q(f.Row(2).install).left(4), QString("0100"));
}

void MainWindowTest::installCustomStandsAloneAndCarriesFolder() {
    {
        Fixture f;
        f.Add("/t/a.txt", "book.pdb", lum2::kDirectionPcToPalm, "1100");
        MainWindow& w = f.Open();
        SetEntry(w, kCustomEntry, true);
        QCOMPARE(Checked(w), QString("Custom"));
        QCOMPARE(Q(f.Row(1).install).left(4), QString("0001"));
        QCOMPARE(Q(f.Row(1).palmfile), kHomeFolder + "book.pdb");
        QCOMPARE(Cell(w, 1, 2), QString("book.pdb"));

        // A user next to Custom: Custom goes, and so does the folder.
        SetEntry(w, 0, true);
        QCOMPARE(Checked(w), QString("Ann"));
        QCOMPARE(Q(f.Row(1).install).left(4), QString("1000"));
        QCOMPARE(Edit(w, "txt_palmfile")->text(), QString("book.pdb"));
        QCOMPARE(Q(f.Row(1).palmfile), QString("book.pdb"));
    }
    // The settings' Palm folder is the custom folder; the PC name stays.
    Fixture f;
    const std::string custom = f.File("custom/");
    std::filesystem::create_directories(custom);
    f.ChangeSettings([&](lum2::TaskRecord& s) { s.palmfile = custom; });
    f.Add("/t/a.txt", "book.pdb", lum2::kDirectionPalmToPc, "0010");
    MainWindow& w = f.Open();
    SetEntry(w, kCustomEntry, true);
    QCOMPARE(Edit(w, "txt_palmfile")->text(), Q(custom) + "book.pdb");
    QCOMPARE(Q(f.Row(1).palmfile), Q(custom) + "book.pdb");
    QCOMPARE(Info(w, "txt_palmfiledata"), QString("New File"));
    QCOMPARE(Q(f.Row(1).pcfile), QString("/t/a.txt"));
}

void MainWindowTest::installListNeverEmptyAndKeepsLaterCharacters() {
    Fixture f;
    f.Add("/t/a.txt", "book.pdb", lum2::kDirectionPalmToPc, "1000111");
    f.Add("/t/b.txt", "book.pdb", lum2::kDirectionPcToPalm, "0001");
    MainWindow& w = f.Open();

    // The only checked entry cannot be unchecked; only the list's own characters change.
    SetEntry(w, 0, false);
    QCOMPARE(Checked(w), QString("Ann"));
    QCOMPARE(Q(f.Row(1).install), QString("1000111"));
    SetEntry(w, 2, true);
    QCOMPARE(Checked(w), QString("Cid"));
    QCOMPARE(Q(f.Row(1).install), QString("0010111"));

    ClickCell(w, 2, 1);
    SetEntry(w, kCustomEntry, false);
    QCOMPARE(Checked(w), QString("Custom"));
    QCOMPARE(Q(f.Row(2).install), QString("0001"));
}

void MainWindowTest::installCheckWithoutTaskChangesNothing() {
    {
        Fixture f;
        MainWindow& w = f.Open();
        SetEntry(w, 1, true);
        QCOMPARE(f.store.RecordCount(), 2);
        QCOMPARE(Q(f.Settings().install), QString("1"));
        QCOMPARE(Q(f.store.GetRecord(2).install), QString("1"));
    }
    // Ctrl+click takes the selection away from the only row.
    Fixture f;
    f.Add("/t/a.txt", "book.pdb", lum2::kDirectionPcToPalm, "1000");
    MainWindow& w = f.Open();
    ClickCell(w, 1, 1, Qt::ControlModifier);
    QCOMPARE(w.SelectedRow(), 0);
    QVERIFY(Edit(w, "txt_pcfile")->isReadOnly());
    SetEntry(w, 1, true);
    SetEntry(w, 0, false);
    QCOMPARE(Q(f.Row(1).install), QString("1000"));
    QCOMPARE(Q(f.Row(1).palmfile), QString("book.pdb"));
}

void MainWindowTest::utf8OptionIsTheSeventhAndTheClipboardFollowsIt() {
    Fixture f;
    lum2::TaskRecord old = f.Task("/t/a.txt", "a.pdb", lum2::kDirectionPcToPalm, "1");
    old.options = "100000";  // stored before the option existed
    f.Add(old);
    MainWindow& w = f.Open();
    auto* options = Find<QListWidget>(w, "lst_options");
    QCOMPARE(options->count(), 7);
    QCOMPARE(options->item(6)->text(), QString("UTF-8 Text"));
    ClickCell(w, 1, 1);
    QCOMPARE(options->item(6)->checkState(), Qt::Unchecked);
    options->item(6)->setCheckState(Qt::Checked);
    QCOMPARE(Q(f.Row(1).options), QString("1000001"));

    // The clipboard's text arrives in the Palm set only when its record says so.
    QApplication::clipboard()->setText(QString::fromUtf8("caf\u00e9 \u2192"));
    for (const char* clipOptions : {"0000001", "000000"}) {
        lum2::TaskRecord clip = f.store.GetRecord(2);
        clip.options = clipOptions;
        f.store.PutRecord(2, clip);
        w.mPopConvertClipboard_Click();
        QCOMPARE(Q(f.store.GetRecord(2).status), QString("OK"));
        const auto doc = lum2::test::ReadFileBytes(f.UserFile("Ann", "clipboard.pdb"));
        const std::size_t text = (std::size_t{doc[86]} << 24) | (doc[87] << 16) | (doc[88] << 8) | doc[89];
        const std::string expected = clipOptions[6] == '1' ? "caf\xE9 ->" : "caf\xC3\xA9 \xE2\x86\x92";
        QCOMPARE(Q(std::string(doc.begin() + static_cast<std::ptrdiff_t>(text), doc.end())), Q(expected));
    }
}

// --- Direction ------------------------------------------------------------------

void MainWindowTest::directionPictureCyclesAndKeepsFirstUser() {
    Fixture f;
    f.Add("/t/a.txt", "a.pdb", lum2::kDirectionPcToPalm, "1110");
    MainWindow& w = f.Open();
    auto* picture = Find<QLabel>(w, "img_action");
    const QImage start = picture->pixmap().toImage();
    // Leaving PC to Palm keeps the first checked user only.
    const int expected[] = {4, 1, 2, 3};
    for (int step = 0; step < 4; ++step) {
        ClickPicture(w);
        QCOMPARE(Direction(w, 1), expected[step]);
        QCOMPARE(int(f.Row(1).direction), expected[step]);
        if (step < 3) {
            QVERIFY(picture->pixmap().toImage() != start);
            QCOMPARE(Checked(w), QString("Ann"));
            QCOMPARE(Q(f.Row(1).install).left(4), QString("1000"));
        }
    }
    QCOMPARE(picture->pixmap().toImage(), start);
}

void MainWindowTest::directionColumnCyclesRowAndFileColumnsOnlySelect() {
    Fixture f;
    f.Add("/t/a.txt", "a.pdb", lum2::kDirectionPalmToPc, "1000");
    f.Add("/t/b.txt", "b.pdb", lum2::kDirectionSync, "1000");
    MainWindow& w = f.Open();

    // The file columns select and nothing else.
    ClickCell(w, 2, 1);
    QCOMPARE(w.SelectedRow(), 2);
    ClickCell(w, 1, 2);
    QCOMPARE(w.SelectedRow(), 1);
    ClickCell(w, 1, 1);
    QCOMPARE(int(f.Row(1).direction), 2);

    // The middle column turns the row's direction.
    const int expected[] = {3, 4, 1, 2};
    for (const int direction : expected) {
        ClickCell(w, 1, 0);
        QCOMPARE(w.SelectedRow(), 1);
        QCOMPARE(Direction(w, 1), direction);
        QCOMPARE(int(f.Row(1).direction), direction);
    }
    QCOMPARE(int(f.Row(2).direction), 4);

    // On another row it selects that row and turns its direction.
    ClickCell(w, 2, 0);
    QCOMPARE(w.SelectedRow(), 2);
    QCOMPARE(int(f.Row(2).direction), 1);
    QCOMPARE(int(f.Row(1).direction), 2);
    QCOMPARE(Edit(w, "txt_pcfile")->text(), QString("/t/b.txt"));
}

// --- New, Delete, Save Default -----------------------------------------------------

void MainWindowTest::emptyListPulsesNewUntilATaskExists() {
    Fixture f;
    MainWindow& w = f.Open();
    auto* newButton = Find<QPushButton>(w, "cmd_new");
    const QRect normal = newButton->geometry();
    const QFont normalFont = newButton->font();
    QVERIFY(!Find<QPushButton>(w, "cmd_convert")->isEnabled());
    QVERIFY(Edit(w, "txt_pcfile")->isReadOnly());

    // Wait for the grown half of the pulse.
    QTRY_VERIFY_WITH_TIMEOUT(newButton->font().bold(), 2000);
    QVERIFY(newButton->geometry() != normal);

    QTest::mouseClick(newButton, Qt::LeftButton);
    QVERIFY(!w.Timer1->isActive());
    QCOMPARE(newButton->geometry(), normal);
    QCOMPARE(newButton->font(), normalFont);
    QVERIFY(Find<QPushButton>(w, "cmd_convert")->isEnabled());

    // The new task is the settings' copy.
    QCOMPARE(f.store.RecordCount(), 3);
    const lum2::TaskRecord settings = f.Settings();
    const lum2::TaskRecord task = f.Row(1);
    QCOMPARE(task.direction, settings.direction);
    QCOMPARE(Q(task.options), Q(settings.options));
    QCOMPARE(Q(task.install), Q(settings.install));
    QCOMPARE(task.tabspace, settings.tabspace);
    QVERIFY(!task.taskid.empty());
    QCOMPARE(w.SelectedRow(), 1);
    QVERIFY(!Edit(w, "txt_pcfile")->isReadOnly());
    QCOMPARE(Checked(w), QString("Ann"));
}

void MainWindowTest::deleteSelectsNeighbourAndEmptiesEditor() {
    Fixture f;
    f.AddNumbered(3);
    MainWindow& w = f.Open();

    // The last row: the new last row takes the selection.
    ClickCell(w, 3, 1);
    Click(w, "cmd_delete");
    QCOMPARE(f.store.RecordCount(), 4);
    QCOMPARE(w.SelectedRow(), 2);
    QCOMPARE(Edit(w, "txt_pcfile")->text(), PcName(2));

    // A row above others: the next one moves up into its place.
    ClickCell(w, 1, 1);
    Click(w, "cmd_delete");
    QCOMPARE(List(w)->topLevelItemCount(), 1);
    QCOMPARE(w.SelectedRow(), 1);
    QCOMPARE(Q(f.Row(1).pcfile), PcName(2));
    QCOMPARE(Edit(w, "txt_pcfile")->text(), PcName(2));

    // The only row: the editor empties and locks.
    Click(w, "cmd_delete");
    QCOMPARE(List(w)->topLevelItemCount(), 0);
    QCOMPARE(f.store.RecordCount(), 2);
    QCOMPARE(w.SelectedRow(), 0);
    QCOMPARE(Edit(w, "txt_pcfile")->text(), QString());
    QVERIFY(Edit(w, "txt_palmfile")->isReadOnly());
    QVERIFY(!Install(w)->isEnabled());
    QVERIFY(!Find<QLabel>(w, "img_action")->isEnabled());
    QVERIFY(!Find<QPushButton>(w, "cmd_delete")->isEnabled());
    QVERIFY(!Find<QPushButton>(w, "cmd_convert")->isEnabled());
    QVERIFY(w.Timer1->isActive());
}

void MainWindowTest::saveDefaultGivesNextNewItsFolders() {
    Fixture f;
    f.Add("/texts/a.txt", "/custom/a.pdb", lum2::kDirectionPalmToPc, "0001");
    MainWindow& w = f.Open();
    TypeOver(Edit(w, "txt_tabspace"), "8");
    Click(w, "cmd_savedefault");

    const lum2::TaskRecord settings = f.Settings();
    QCOMPARE(Q(settings.pcfile), QString("/texts/"));
    QCOMPARE(Q(settings.palmfile), QString("/custom/"));
    QCOMPARE(int(settings.direction), int(lum2::kDirectionPalmToPc));
    QCOMPARE(Q(settings.install), QString("0001"));
    QCOMPARE(int(settings.tabspace), 8);
    QCOMPARE(Q(f.Row(1).pcfile), QString("/texts/a.txt"));

    Click(w, "cmd_new");
    QCOMPARE(w.SelectedRow(), 2);
    QCOMPARE(Edit(w, "txt_pcfile")->text(), QString("/texts/"));
    QCOMPARE(Cell(w, 2, 1), QString());
    QCOMPARE(Direction(w, 2), int(lum2::kDirectionPalmToPc));
    QCOMPARE(Checked(w), QString("Custom"));
    QCOMPARE(Edit(w, "txt_tabspace")->text(), QString("8"));
}

void MainWindowTest::connectorFollowsRowAfterHiddenStart() {
    Fixture f;
    f.AddNumbered(3);
    MainWindow& w = f.Open(true);
    const QLabel* picture = Find<QLabel>(w, "img_action");
    for (int row : {1, 2}) {
        if (row == 2) ClickCell(w, 2, 1);
        const QRect rect = List(w)->visualItemRect(List(w)->topLevelItem(row - 1));
        QVERIFY(w.shp_con->Linked());
        QCOMPARE(w.shp_con->RowTop(), List(w)->viewport()->mapTo(&w, rect.topLeft()).y() - w.shp_con->y());
        QCOMPARE(w.shp_con->TargetY(), picture->mapTo(&w, picture->rect().center()).y() - w.shp_con->y());
    }
}

void MainWindowTest::storeSetAsideIsShownInStatusLine() {
    Fixture f;
    f.store.Close();
    lum2::test::WriteFileText(f.File("lumdata.dat"), "no task list");
    f.store.OpenStore(f.dir.Path());
    MainWindow& w = f.Open();
    const QString status = Edit(w, "txt_status")->text();
    QVERIFY2(status.contains("kept as " + Q(f.File("lumdata.dat.bak"))), qPrintable(status));
    // The long line shows its start, which says what happened.
    QCOMPARE(Edit(w, "txt_status")->cursorPosition(), 0);
}

void MainWindowTest::droppedFilesBecomeNewTasks() {
    struct Row {
        int direction;
        const char* pc;  // "~/" is the home folder, "@" the test's folder
        const char* palm;
        const char* install;
    };
    const struct {
        const char* name;
        QStringList dropped;  // in the test's folder
        bool clipboardSettings;
        std::vector<Row> rows;  // the tasks after the one already there
    } cases[] = {
        {"one text file", {"notes.txt"}, false, {{lum2::kDirectionPcToPalm, "@notes.txt", "notes.pdb", "1"}}},
        {"several, Palm files to PC",
         {"a.txt", "book.pdb", "palm/Bob/backup/memo.PRC", "palm"},
         false,
         {{lum2::kDirectionPcToPalm, "@a.txt", "a.pdb", "1"},
          {lum2::kDirectionPalmToPc, "~/book.txt", "@book.pdb", "0001"},
          {lum2::kDirectionPalmToPc, "~/memo.txt", "memo.PRC", "0100"}}},
        {"in clipboard settings", {"notes.txt"}, true, {}},
    };
    const auto expand = [](const Fixture& f, const char* text) {
        const QString path(text);
        if (path.startsWith("~/")) return kHomeFolder + path.mid(2);
        if (path.startsWith('@')) return Q(f.File(path.mid(1).toStdString()));
        return path;
    };
    for (const auto& c : cases) {
        Fixture f;
        f.Add(f.File("old.txt"), "old.pdb", lum2::kDirectionPcToPalm);
        QStringList paths;
        for (const QString& name : c.dropped) {
            paths << Q(f.File(name.toStdString()));
            if (name != "palm") lum2::test::WriteFileText(f.File(name.toStdString()), "text\n");
        }
        MainWindow& w = f.Open();
        w.SetClipboardSettingsMode(c.clipboardSettings);
        QCOMPARE(DropFiles(w, paths), !c.clipboardSettings);
        QVERIFY2(List(w)->topLevelItemCount() == int(c.rows.size()) + 1, c.name);
        QCOMPARE(f.store.RecordCount(), int(c.rows.size()) + 3);
        for (std::size_t k = 0; k < c.rows.size(); ++k) {
            const lum2::TaskRecord task = f.Row(int(k) + 2);
            QCOMPARE(int(task.direction), c.rows[k].direction);
            QCOMPARE(Direction(w, int(k) + 2), c.rows[k].direction);
            QCOMPARE(Q(task.pcfile), expand(f, c.rows[k].pc));
            QCOMPARE(Q(task.palmfile), expand(f, c.rows[k].palm));
            QCOMPARE(Q(task.install).left(4), QString(c.rows[k].install));
        }
        if (!c.rows.empty()) QCOMPARE(w.SelectedRow(), int(c.rows.size()) + 1);
    }

    // During a run the list takes nothing.
    Fixture f;
    lum2::test::WriteFileText(f.File("a.txt"), "text\n");
    lum2::test::WriteFileText(f.File("a.pdb"), "old");
    f.Add(f.File("a.txt"), f.File("a.pdb"), lum2::kDirectionPcToPalm, "0001");
    MainWindow& w = f.Open();
    bool taken = true;
    PromptAnswerer answerer({[&](QDialog* dialog) {
        taken = DropFiles(w, {Q(f.File("a.txt"))});
        Press<QPushButton>(dialog, "cmd_stop");
    }});
    Click(w, "cmd_convert");
    QCOMPARE(answerer.names, QStringList{"frmOvwDialog"});
    QVERIFY(!taken);
    QCOMPARE(List(w)->topLevelItemCount(), 1);
    QCOMPARE(f.store.RecordCount(), 3);
}

// --- Scroll bar -------------------------------------------------------------------

void MainWindowTest::scrollBarRangeFollowsPage() {
    Fixture f;
    f.AddNumbered(20);
    MainWindow& w = f.Open();
    const int k = w.RowsPerPage();
    QVERIFY2(k >= 3 && k < 18, qPrintable(QString("rows per page: %1").arg(k)));
    QCOMPARE(w.VScroll1->minimum(), 1);
    QCOMPARE(w.VScroll1->maximum(), 20 - k + 1);
    QCOMPARE(w.VScroll1->pageStep(), k - 1);
    QCOMPARE(w.VScroll1->value(), 1);

    // A taller window holds more rows; the range follows.
    const int rowHeight = List(w)->visualItemRect(List(w)->topLevelItem(0)).height();
    w.resize(w.width(), w.height() + 2 * rowHeight);
    QTRY_VERIFY(w.RowsPerPage() > k);
    const int taller = w.RowsPerPage();
    QVERIFY(taller < 20);
    QCOMPARE(w.VScroll1->maximum(), 20 - taller + 1);
    QCOMPARE(w.VScroll1->pageStep(), taller - 1);

    // Deleting rows shrinks the range down to 1..1, fewer rows than a page included.
    for (int n = 20; n >= 1; --n) {
        Click(w, "cmd_delete");
        QCOMPARE(w.VScroll1->maximum(), std::max(1, (n - 1) - taller + 1));
    }
    QCOMPARE(w.VScroll1->minimum(), 1);
    QCOMPARE(w.VScroll1->pageStep(), taller - 1);
}

void MainWindowTest::scrollingSelectionAwayClearsEditor() {
    Fixture f;
    f.AddNumbered(40);
    MainWindow& w = f.Open();
    const int k = w.RowsPerPage();
    QCOMPARE(Edit(w, "txt_pcfile")->text(), PcName(1));

    // Row 1 leaves the page: still selected, but the editor empties and locks.
    w.VScroll1->setValue(3);
    QCOMPARE(w.FirstVisibleRow(), 3);
    QCOMPARE(w.SelectedRow(), 1);
    QCOMPARE(Edit(w, "txt_pcfile")->text(), QString());
    QVERIFY(Edit(w, "txt_pcfile")->isReadOnly());
    QVERIFY(!Install(w)->isEnabled());
    QVERIFY(!Find<QPushButton>(w, "cmd_delete")->isEnabled());
    QCOMPARE(Q(f.Row(1).pcfile), PcName(1));
    QCOMPARE(Cell(w, 1, 1), QString("pc1.txt"));

    // Another row taken meanwhile; row 1 comes back into view unselected.
    ClickCell(w, 5, 1);
    w.VScroll1->setValue(1);
    QCOMPARE(w.SelectedRow(), 5);
    QCOMPARE(Edit(w, "txt_pcfile")->text(), PcName(5));

    // Row 5 leaves the page at the top, and comes back as the last visible row.
    w.VScroll1->setValue(6);
    QCOMPARE(Edit(w, "txt_pcfile")->text(), QString());
    w.VScroll1->setValue(5);
    QCOMPARE(Edit(w, "txt_pcfile")->text(), PcName(5));
    QVERIFY(!Edit(w, "txt_pcfile")->isReadOnly());
    w.VScroll1->setValue(std::max(1, 5 - k + 1));
    QCOMPARE(Edit(w, "txt_pcfile")->text(), PcName(5));
}

void MainWindowTest::arrowKeysOnPageEdgeScrollOneRow() {
    Fixture f;
    f.AddNumbered(40);
    MainWindow& w = f.Open();
    const int last = 2 + w.RowsPerPage() - 1;
    w.VScroll1->setValue(2);
    ClickCell(w, last, 1);

    List(w)->setFocus();
    QTest::keyClick(List(w), Qt::Key_Down);
    QCOMPARE(w.SelectedRow(), last + 1);
    QCOMPARE(w.FirstVisibleRow(), 3);
    QCOMPARE(w.VScroll1->value(), 3);
    QCOMPARE(Edit(w, "txt_pcfile")->text(), PcName(last + 1));
    QVERIFY(!Edit(w, "txt_pcfile")->isReadOnly());

    ClickCell(w, 3, 1);
    QTest::keyClick(List(w), Qt::Key_Up);
    QCOMPARE(w.SelectedRow(), 2);
    QCOMPARE(w.FirstVisibleRow(), 2);
    QCOMPARE(Edit(w, "txt_pcfile")->text(), PcName(2));
}

void MainWindowTest::newAndDeleteOnLongListKeepSelectionInView() {
    Fixture f;
    f.AddNumbered(40);
    MainWindow& w = f.Open();
    const int k = w.RowsPerPage();

    // New far below the page: the list scrolls to the new row.
    Click(w, "cmd_new");
    QCOMPARE(w.SelectedRow(), 41);
    QCOMPARE(w.FirstVisibleRow(), 41 - k + 1);
    QCOMPARE(w.VScroll1->maximum(), 41 - k + 1);
    QCOMPARE(w.VScroll1->value(), w.FirstVisibleRow());
    QVERIFY(!Edit(w, "txt_pcfile")->isReadOnly());

    // Deleting at the bottom: the row above takes over, still in view.
    for (const int row : {40, 39}) {
        Click(w, "cmd_delete");
        QCOMPARE(w.SelectedRow(), row);
        QVERIFY(w.SelectedTaskVisible());
        QCOMPARE(w.VScroll1->maximum(), row - k + 1);
        QCOMPARE(w.VScroll1->value(), w.FirstVisibleRow());
        QCOMPARE(Edit(w, "txt_pcfile")->text(), PcName(row));
    }
    QCOMPARE(f.store.RecordCount(), 39 + 2);
}

void MainWindowTest::runScrollsEachTaskIntoView() {
    Fixture f;
    f.AddNumbered(40, lum2::kDirectionNone);  // nothing to convert: each shows " -"
    MainWindow& w = f.Open();
    const int k = w.RowsPerPage();

    // Every task is shown in the editor while it runs.
    int shownOutOfView = 0;
    int checks = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!w.RunActive()) return;
        ++checks;
        if (!w.SelectedTaskVisible() || Edit(w, "txt_pcfile")->text() != PcName(w.SelectedRow())) ++shownOutOfView;
    });
    poll.start(0);
    Click(w, "cmd_convert");
    poll.stop();

    QVERIFY(checks > 0);
    QCOMPARE(shownOutOfView, 0);
    QCOMPARE(w.SelectedRow(), 40);
    QCOMPARE(w.FirstVisibleRow(), 40 - k + 1);
    QCOMPARE(w.VScroll1->value(), w.FirstVisibleRow());
    QCOMPARE(Cell(w, 1, 0), QString(" -"));
    QCOMPARE(Cell(w, 40, 0), QString(" -"));
}

// --- Run --------------------------------------------------------------------------

void MainWindowTest::runMarksRowsAndStoresStatuses() {
    Fixture f;
    lum2::test::WriteFileText(f.File("one.txt"), SampleText(5000));
    f.Add(f.File("one.txt"), f.File("missing.pdb"), lum2::kDirectionPalmToPc, "0001");  // no Palm file
    f.Add(f.File("one.txt"), f.File("none.pdb"), lum2::kDirectionNone, "0001");         // nothing to do
    f.Add(f.File("one.txt"), f.File("one.pdb"), lum2::kDirectionPcToPalm, "0001");
    MainWindow& w = f.Open();
    QSignalSpy tray(&w, &MainWindow::trayIconChanged);
    QSignalSpy finished(&w, &MainWindow::runFinished);

    Click(w, "cmd_convert");
    QCOMPARE(finished.count(), 1);
    QCOMPARE(Cell(w, 1, 0), QString(" ?"));
    QCOMPARE(Cell(w, 2, 0), QString(" -"));
    QCOMPARE(Cell(w, 3, 0), QString(" OK"));
    QCOMPARE(Q(f.Row(1).status), QString("Error: Palm File does not exist"));
    QCOMPARE(Q(f.Row(2).status), QString());
    QCOMPARE(Q(f.Row(3).status), QString("OK"));
    QVERIFY(std::filesystem::file_size(f.File("one.pdb")) > 78);
    QCOMPARE(Edit(w, "txt_status")->text(), QString("OK"));
    QCOMPARE(Find<QPushButton>(w, "cmd_convert")->text(), QString("Convert"));
    QCOMPARE(LastTray(tray), std::make_pair(10, QString("LUM2\r\n- see list for errors")));
    // The window is usable again.
    QCOMPARE(w.SelectedRow(), 3);
    QVERIFY(!Edit(w, "txt_pcfile")->isReadOnly());
    QVERIFY(List(w)->isEnabled());
    QVERIFY(Find<QPushButton>(w, "cmd_new")->isEnabled());
    QVERIFY(w.VScroll1->isEnabled());
    QVERIFY(Info(w, "txt_palmfiledata").endsWith(" Byte"));
    QVERIFY(!Info(w, "txt_palmfiledata").contains(QLatin1Char('\r')));
}

void MainWindowTest::runWithoutErrorsReportsOk() {
    Fixture f;
    const std::string text = SampleText(20000);
    lum2::test::WriteFileText(f.File("book.txt"), text);
    f.Add(f.File("book.txt"), f.File("book.pdb"), lum2::kDirectionPcToPalm, "0001");
    f.Add(f.File("back.txt"), f.File("book.pdb"), lum2::kDirectionPalmToPc, "0001");
    f.Add(f.File("book.txt"), "shared.pdb", lum2::kDirectionPcToPalm, "0110");  // Bob and Cid
    MainWindow& w = f.Open();
    QSignalSpy tray(&w, &MainWindow::trayIconChanged);

    Click(w, "cmd_convert");
    for (int row = 1; row <= 3; ++row) QCOMPARE(Cell(w, row, 0), QString(" OK"));
    QCOMPARE(Q(f.Row(1).status), QString("OK"));
    QCOMPARE(Q(f.Row(2).status), QString("OK"));
    QVERIFY(f.Row(1).pcfiletime > 0);
    QVERIFY(f.Row(2).palmfiletime > 0);
    QCOMPARE(lum2::test::ReadFileText(f.File("back.txt")).size(), text.size());
    // The third task goes to the users its row had checked, and only to them.
    QVERIFY(!std::filesystem::exists(f.UserFile("Ann", "shared.pdb")));
    QVERIFY(std::filesystem::exists(f.UserFile("Bob", "shared.pdb")));
    QVERIFY(std::filesystem::exists(f.UserFile("Cid", "shared.pdb")));
    QCOMPARE(f.users.installed.size(), std::size_t(2));
    QCOMPARE(f.users.installed.at(0).first, std::string("Bob"));
    QCOMPARE(f.users.installed.at(1).first, std::string("Cid"));
    QCOMPARE(LastTray(tray), std::make_pair(9, QString("LUM2\r\n- OK")));
}

void MainWindowTest::stopAtPromptEndsRun() {
    Fixture f;
    lum2::test::WriteFileText(f.File("a.txt"), SampleText(3000));
    lum2::test::WriteFileText(f.File("a.pdb"), "old");
    f.Add(f.File("a.txt"), f.File("a.pdb"), lum2::kDirectionPcToPalm, "0001");
    lum2::TaskRecord second = f.Task(f.File("a.txt"), f.File("b.pdb"), lum2::kDirectionPcToPalm, "0001");
    second.status = "earlier";
    f.Add(second);
    MainWindow& w = f.Open();
    QVERIFY(Find<QCheckBox>(w, "chk_askoverwrite")->isChecked());
    QSignalSpy tray(&w, &MainWindow::trayIconChanged);

    QString caption;
    PromptAnswerer answerer({[&](QDialog* dialog) {
        caption = Find<QPushButton>(w, "cmd_convert")->text();
        Press<QPushButton>(dialog, "cmd_stop");
    }});
    Click(w, "cmd_convert");

    QCOMPARE(answerer.names, QStringList{"frmOvwDialog"});
    QCOMPARE(caption, QString("Stop"));
    QCOMPARE(Cell(w, 1, 0), QString(" -"));
    QCOMPARE(Q(f.Row(1).status), QString("User stopped conversion"));
    QCOMPARE(lum2::test::ReadFileText(f.File("a.pdb")), std::string("old"));
    QCOMPARE(Cell(w, 2, 0), QString());
    QCOMPARE(Q(f.Row(2).status), QString("earlier"));
    QVERIFY(!std::filesystem::exists(f.File("b.pdb")));
    QCOMPARE(Find<QPushButton>(w, "cmd_convert")->text(), QString("Convert"));
    QCOMPARE(LastTray(tray), std::make_pair(1, QString("LUM2\r\n- stopped")));
}

void MainWindowTest::anyClickOnDoNotAskAgainStopsAsking() {
    Fixture f;
    lum2::test::WriteFileText(f.File("a.txt"), SampleText(3000));
    lum2::test::WriteFileText(f.File("a.pdb"), "old");
    lum2::test::WriteFileText(f.File("b.pdb"), "old");
    f.Add(f.File("a.txt"), f.File("a.pdb"), lum2::kDirectionPcToPalm, "0001");
    f.Add(f.File("a.txt"), f.File("b.pdb"), lum2::kDirectionPcToPalm, "0001");
    MainWindow& w = f.Open();
    QSignalSpy tray(&w, &MainWindow::trayIconChanged);

    // The user ticks and unticks the box before answering; that still
    // switches asking off for good, so the second file is replaced unasked.
    PromptAnswerer answerer({[](QDialog* dialog) {
                                 Press<QCheckBox>(dialog, "chk_notaskagain");
                                 Press<QCheckBox>(dialog, "chk_notaskagain");
                                 Press<QPushButton>(dialog, "cmd_yes");
                             },
                             [](QDialog* dialog) { Press<QPushButton>(dialog, "cmd_skip"); }});
    Click(w, "cmd_convert");

    QCOMPARE(answerer.names.size(), 1);
    QVERIFY(!Find<QCheckBox>(w, "chk_askoverwrite")->isChecked());
    QCOMPARE(f.Settings().switch2, false);
    QCOMPARE(Q(f.Row(1).status), QString("OK"));
    QCOMPARE(Q(f.Row(2).status), QString("OK"));
    QVERIFY(std::filesystem::file_size(f.File("a.pdb")) > 78);
    QVERIFY(std::filesystem::file_size(f.File("b.pdb")) > 78);
    QCOMPARE(LastTray(tray), std::make_pair(9, QString("LUM2\r\n- OK")));
}

void MainWindowTest::stopButtonFinishesCurrentTask() {
    Fixture f;
    lum2::test::WriteFileText(f.File("big.txt"), SampleText(3 * 1024 * 1024));
    lum2::test::WriteFileText(f.File("small.txt"), SampleText(2000));
    f.Add(f.File("big.txt"), f.File("big.pdb"), lum2::kDirectionPcToPalm, "0001");
    f.Add(f.File("small.txt"), f.File("small.pdb"), lum2::kDirectionPcToPalm, "0001");
    f.Add(f.File("small.txt"), f.File("third.pdb"), lum2::kDirectionPcToPalm, "0001");
    MainWindow& w = f.Open();
    QSignalSpy tray(&w, &MainWindow::trayIconChanged);
    auto* convert = Find<QPushButton>(w, "cmd_convert");

    // Pressed while the first task's progress shows.
    QString before;
    QString after;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!w.RunActive() || !w.ProgressBar1->isVisible() || w.ProgressBar1->value() < 1) return;
        poll.stop();
        before = convert->text();
        QTest::mouseClick(convert, Qt::LeftButton);
        after = convert->text();
    });
    poll.start(1);
    QTest::mouseClick(convert, Qt::LeftButton);

    QCOMPARE(before, QString("Stop"));
    QCOMPARE(after, QString("Wait"));
    QCOMPARE(Q(f.Row(1).status), QString("OK"));
    QCOMPARE(Cell(w, 1, 0), QString(" OK"));
    QVERIFY(std::filesystem::file_size(f.File("big.pdb")) > 78);
    QCOMPARE(Q(f.Row(2).status), QString());
    QCOMPARE(Cell(w, 2, 0), QString());
    QVERIFY(!std::filesystem::exists(f.File("small.pdb")));
    QVERIFY(!std::filesystem::exists(f.File("third.pdb")));
    QCOMPARE(convert->text(), QString("Convert"));
    QCOMPARE(LastTray(tray), std::make_pair(1, QString("LUM2\r\n- stopped")));

    // The next run goes through (replacing the first task's file unasked).
    QTest::mouseClick(Find<QCheckBox>(w, "chk_askoverwrite"), Qt::LeftButton);
    QTest::mouseClick(convert, Qt::LeftButton);
    QCOMPARE(Q(f.Row(2).status), QString("OK"));
    QCOMPARE(Q(f.Row(3).status), QString("OK"));
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
