// The desktop program's shell: start-up in command-line mode, one copy per
// user with hand-over of "-s", the missing library, the hidden start, the
// tray menu, the clipboard conversion, the help launcher, and where menu and
// terminal starts keep the task list.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QCheckBox>
#include <QListWidget>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "engine/static_codec.h"
#include "engine/temp_dir.h"
#include "hotsync/install_targets.h"
#include "shell/application.h"
#include "shell/help_launcher.h"
#include "shell/tray_icon.h"
#include "tasks/batch_run.h"
#include "tasks/record_store.h"
#include "ui/main_window.h"

using lum2::test::ReadFileText;
using lum2::test::TempDir;
using lum2::test::WriteFileText;

namespace {

// Clicks OK on every message box that comes up, remembering its texts.
class BoxAnswerer : public QObject {
public:
    BoxAnswerer() {
        connect(&timer_, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            titles.append(box->windowTitle());
            texts.append(box->text());
            icons.append(box->icon());
            box->accept();
        });
        timer_.start(20);
    }
    QStringList titles;
    QStringList texts;
    QList<QMessageBox::Icon> icons;

private:
    QTimer timer_;
};

// A base directory with a store; the HotSync folders and the runtime folder
// point into the test's own folder.
struct Place {
    Place() {
        qputenv("HOME", QByteArray::fromStdString(dir.Path() + "home"));
        qputenv("JPILOT_HOME", QByteArray::fromStdString(dir.Path() + "home"));
        qputenv("LUM2_HOTSYNC_ROOT", "");
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir.Path() + "runtime"));
        std::filesystem::create_directories(dir.Path() + "home");
        std::filesystem::create_directories(dir.Path() + "runtime");
    }
    // Appends a PC-to-Palm task for "Custom" (the only target here).
    void AddTask(const std::string& pc, const std::string& palm, int direction = lum2::kDirectionPcToPalm) {
        lum2::RecordStore store;
        store.OpenStore(dir.Path());
        const int position = lum2::AppendNewTask(store);
        lum2::TaskRecord task = store.GetRecord(position + 2);
        task.pcfile = pc;
        task.palmfile = palm;
        task.direction = static_cast<int16_t>(direction);
        task.install = "1";
        store.PutRecord(position + 2, task);
    }
    lum2::TaskRecord Record(int n) {
        lum2::RecordStore store;
        store.OpenStore(dir.Path());
        return store.GetRecord(n);
    }
    // Record n as the file holds it now, read past the lock of a running copy.
    lum2::TaskRecord RecordOnDisk(int n) {
        const std::string bytes = ReadFileText(F("lumdata.dat"));
        lum2::RecordBytes record{};
        const std::size_t at = static_cast<std::size_t>(n - 1) * lum2::kRecordSize;
        if (bytes.size() >= at + record.size()) std::memcpy(record.data(), bytes.data() + at, record.size());
        return lum2::DecodeRecord(record);
    }
    void PutRecord(int n, const lum2::TaskRecord& record) {
        lum2::RecordStore store;
        store.OpenStore(dir.Path());
        store.PutRecord(n, record);
    }
    lum2::shell::StartOptions Options(const QStringList& arguments) {
        lum2::shell::StartOptions options;
        options.arguments = arguments;
        options.baseDirectory = QString::fromStdString(dir.Path());
        options.libraryFolders = {LUM2_BIN_DIR};
        options.instanceName = "lum2-test";
        return options;
    }
    std::string F(const std::string& name) const { return dir.File(name); }

    // Starts the built program in this place.
    QProcess* Start(const QStringList& arguments, const QString& platform = "offscreen") {
        auto* process = new QProcess;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", platform);
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(QString::fromStdString(dir.Path()));
        process->start(QString(LUM2_BIN_DIR) + "/lum2", arguments);
        process->waitForStarted();
        processes.append(process);
        return process;
    }
    ~Place() {
        for (QProcess* process : processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(3000);
            }
            delete process;
        }
    }

    TempDir dir;
    QList<QProcess*> processes;
};

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) return false;
        QTest::qWait(50);
    }
    return true;
}

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT

private slots:
    void commandLineListRunReportsOnlyErrors();
    void commandLineClipboardWithEmptyClipboardReports();
    void missingLibraryIsFatal();
    void hiddenStartAfterMinimise();
    void storeSetAsideFollowsTheTrayWarning();
    void secondCopyHandsOverTheListRun();
    void secondCopyWithoutSwitchEndsAtOnce();
    void staleLockIsTakenOver();
    void trayMenuActions();
    void trayExitEndsHiddenProgram();
    void clipboardConversion();
    void helpLauncherFailuresAndSuccess();
    void baseDirectoryOfMenuAndTerminalStarts();
    void helpVersionAndUsageErrorNeedNoWindow();
};

void ShellTest::commandLineListRunReportsOnlyErrors() {
    Place place;
    WriteFileText(place.F("a.txt"), "a text\n");
    place.AddTask(place.F("a.txt"), place.F("a.pdb"));
    {
        BoxAnswerer boxes;
        QCOMPARE(lum2::shell::RunLum2(place.Options({" -S "})), 0);
        QVERIFY(boxes.texts.isEmpty());  // no errors: no message
    }
    QCOMPARE(QString::fromStdString(place.Record(3).status), QString("OK"));
    QVERIFY(std::filesystem::exists(place.F("a.pdb")));

    place.AddTask(place.F("missing.txt"), place.F("b.pdb"));
    std::filesystem::remove(place.F("a.pdb"));  // no overwrite question this time
    BoxAnswerer boxes;
    QCOMPARE(lum2::shell::RunLum2(place.Options({"-s"})), 0);
    QCOMPARE(boxes.texts, QStringList{"LUM2\n- see list for errors"});
    QCOMPARE(boxes.titles, QStringList{"LUM2 Message"});
    QCOMPARE(boxes.icons.value(0), QMessageBox::Warning);
    QCOMPARE(QString::fromStdString(place.Record(4).status), QString("Error: PC File does not exist"));
}

void ShellTest::commandLineClipboardWithEmptyClipboardReports() {
    Place place;
    QApplication::clipboard()->clear();
    BoxAnswerer boxes;
    QCOMPARE(lum2::shell::RunLum2(place.Options({"-c"})), 0);
    QCOMPARE(boxes.texts, QStringList{"LUM2\n- clipboard was empty"});
    QCOMPARE(QString::fromStdString(place.Record(2).status), QString("clipboard was empty"));

    // A failed conversion reports nothing; its outcome is only stored.
    QApplication::clipboard()->setText("");
    BoxAnswerer quiet;
    QCOMPARE(lum2::shell::RunLum2(place.Options({"-c"})), 0);
    QVERIFY(quiet.texts.isEmpty());
    QVERIFY(place.Record(2).status.rfind("Error", 0) == 0);
}

void ShellTest::missingLibraryIsFatal() {
    Place place;
    auto options = place.Options({});
    options.libraryFolders = {place.dir.Path()};
    BoxAnswerer boxes;
    QCOMPARE(lum2::shell::RunLum2(options), 1);
    QCOMPARE(boxes.texts, QStringList{"Fatal Error: liblum2.so not found"});
    QCOMPARE(boxes.titles, QStringList{"LUM2 Message"});
    QCOMPARE(boxes.icons.value(0), QMessageBox::Critical);
    // The program ended: the store is free again.
    lum2::RecordStore store;
    store.OpenStore(place.dir.Path());
}

void ShellTest::storeSetAsideFollowsTheTrayWarning() {
    Place place;
    WriteFileText(place.F("lumdata.dat"), "no task list");
    QString status;
    QTimer::singleShot(300, [&status] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() != "frmMain") continue;
            status = top->findChild<QLineEdit*>("txt_status")->text();
            QTimer::singleShot(0, top, &QWidget::close);
        }
    });
    QCOMPARE(lum2::shell::RunLum2(place.Options({})), 0);
    QVERIFY2(status.startsWith("Warning: could not create SysTray Icon - Warning: "), qPrintable(status));
    QVERIFY2(status.contains("kept as " + QString::fromStdString(place.F("lumdata.dat.bak"))), qPrintable(status));
}

void ShellTest::hiddenStartAfterMinimise() {
    Place place;
    QString status;
    // Minimising records the hidden state for the next start...
    QTimer::singleShot(300, [&status] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() != "frmMain") continue;
            status = top->findChild<QLineEdit*>("txt_status")->text();
            top->showMinimized();
            QTimer::singleShot(200, top, &QWidget::close);
        }
    });
    QCOMPARE(lum2::shell::RunLum2(place.Options({})), 0);
    QCOMPARE(place.Record(2).switch2, true);
    QCOMPARE(status, QString("Warning: could not create SysTray Icon"));

    // ...which, without a tray to hide in, starts the window normally and
    // records that it is shown again.
    bool normalAtStart = false;
    QTimer::singleShot(300, [&normalAtStart] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() != "frmMain") continue;
            normalAtStart = top->isVisible() && !top->isMinimized();
            QTimer::singleShot(200, top, &QWidget::close);
        }
    });
    QCOMPARE(lum2::shell::RunLum2(place.Options({})), 0);
    QVERIFY(normalAtStart);
    QCOMPARE(place.Record(2).switch2, false);
}

void ShellTest::secondCopyHandsOverTheListRun() {
    Place place;
    WriteFileText(place.F("a.txt"), "a text\n");
    place.AddTask(place.F("a.txt"), place.F("a.pdb"));
    QProcess* first = place.Start({});
    QVERIFY(WaitFor([&] { return QFile::exists(QString::fromStdString(place.F("runtime/lum2-%1.socket")).arg(geteuid())); }));

    QProcess* second = place.Start({"-s"});
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitCode(), 0);
    // The running copy converts its list, stores the outcome and carries on.
    QVERIFY(WaitFor([&] { return place.RecordOnDisk(3).status == "OK"; }));
    QVERIFY(std::filesystem::exists(place.F("a.pdb")));
    QCOMPARE(first->state(), QProcess::Running);
    first->terminate();
    first->waitForFinished(5000);
}

void ShellTest::secondCopyWithoutSwitchEndsAtOnce() {
    Place place;
    QProcess* first = place.Start({});
    QVERIFY(WaitFor([&] { return QFile::exists(QString::fromStdString(place.F("runtime/lum2-%1.socket")).arg(geteuid())); }));
    QElapsedTimer clock;
    clock.start();
    QProcess* second = place.Start({"-x"});
    QVERIFY(second->waitForFinished(5000));
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(clock.elapsed() < 4000);
    QCOMPARE(first->state(), QProcess::Running);
}

void ShellTest::staleLockIsTakenOver() {
    Place place;
    QProcess* crashed = place.Start({});
    QVERIFY(WaitFor([&] { return QFile::exists(QString::fromStdString(place.F("runtime/lum2-%1.socket")).arg(geteuid())); }));
    crashed->kill();  // leaves its lock file and socket behind
    crashed->waitForFinished(3000);
    QVERIFY(QFile::exists(QString::fromStdString(place.F("runtime/lum2-%1.lock")).arg(geteuid())));

    WriteFileText(place.F("a.txt"), "a text\n");
    place.AddTask(place.F("a.txt"), place.F("a.pdb"));
    QProcess* next = place.Start({"-s"});
    QVERIFY(next->waitForFinished(15000));
    QCOMPARE(next->exitCode(), 0);
    QCOMPARE(QString::fromStdString(place.Record(3).status), QString("OK"));
}

void ShellTest::trayMenuActions() {
    QStringList called;
    bool promptOpen = false;
    lum2::shell::TrayIcon::Actions actions;
    actions.convertList = [&] { called << "list"; };
    actions.convertClipboard = [&] { called << "clipboard"; };
    actions.hideWindow = [&] { called << "hide"; };
    actions.restoreWindow = [&] { called << "restore"; };
    actions.exit = [&] { called << "exit"; };
    actions.promptOpen = [&] { return promptOpen; };
    lum2::shell::TrayIcon tray(actions);
    // Offscreen there is no notification area: the window keeps the news.
    QVERIFY(!tray.AddTrayIcon());

    QMenu* menu = tray.Menu();
    QCOMPARE(menu->objectName(), QString("mPopupSys"));
    QStringList texts;
    QStringList names;
    for (QAction* action : menu->actions()) {
        texts << (action->isSeparator() ? QString("-") : action->text());
        names << action->objectName();
    }
    QCOMPARE(texts, (QStringList{"C&onvert List", "&Convert Clipboard", "-", "&Hide Window", "&Restore Window", "-",
                                 "&Exit"}));
    QCOMPARE(names, (QStringList{"mPopConvertList", "mPopConvertClipboard", "mnuSepp1", "mPopHideWindow",
                                 "mPopRestoreWindow", "mnuSepp2", "mPopExit"}));
    for (const char* name : {"mPopConvertList", "mPopConvertClipboard", "mPopHideWindow", "mPopRestoreWindow", "mPopExit"}) {
        menu->findChild<QAction*>(name)->trigger();
    }
    QCOMPARE(called, (QStringList{"list", "clipboard", "hide", "restore", "exit"}));

    // Opening the menu resets the picture; while a prompt is open it offers nothing.
    tray.SetTrayIcon(10, "LUM2\r\n- see list for errors");
    QMetaObject::invokeMethod(menu, "aboutToShow");
    QCOMPARE(tray.Image(), 1);
    QCOMPARE(tray.Tip(), QString("LUM2"));
    tray.SetTrayIcon(9, "LUM2\r\n- OK");
    promptOpen = true;
    QMetaObject::invokeMethod(menu, "aboutToShow");
    QCOMPARE(tray.Image(), 9);
    QVERIFY(!menu->findChild<QAction*>("mPopConvertList")->isEnabled());
}

void ShellTest::trayExitEndsHiddenProgram() {
    Place place;
    // Hidden into the tray, the program ends by the tray menu's Exit alone.
    QTimer::singleShot(300, [] {
        QMenu* tray = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() == "frmMain") top->hide();
            if (top->objectName() == "mPopupSys") tray = qobject_cast<QMenu*>(top);
        }
        QVERIFY(tray != nullptr);
        tray->findChild<QAction*>("mPopExit")->trigger();
    });
    QTimer guard;  // Exit did nothing
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QApplication::exit(7); });
    guard.start(3000);
    QCOMPARE(lum2::shell::RunLum2(place.Options({})), 0);
}

void ShellTest::clipboardConversion() {
    Place place;
    const std::string home = place.dir.Path() + "home/";
    lum2::RecordStore store;
    store.OpenStore(place.dir.Path());
    lum2::InstallTargets targets(nullptr);
    targets.FillInstallList();
    const lum2::CodecFunctions codec = lum2::test::StaticCodec();
    lum2::ui::MainWindow window({place.dir.Path(), &store, &targets, &codec});
    window.StartUp();
    QList<QPair<int, QString>> tray;
    connect(&window, &lum2::ui::MainWindow::trayIconChanged, this,
            [&tray](int image, const QString& tip) { tray.append({image, tip}); });
    auto setName = [&](const std::string& name, bool countUp, int counter) {
        lum2::TaskRecord clip = store.GetRecord(2);
        clip.palmfile = name;
        clip.switch1 = countUp;
        clip.counter = static_cast<int16_t>(counter);
        clip.options = "000000";
        store.PutRecord(2, clip);
    };

    // Empty, or an image only: nothing is converted.
    QApplication::clipboard()->clear();
    window.mPopConvertClipboard_Click();
    QCOMPARE(tray.last(), (QPair<int, QString>{10, "LUM2\r\n- clipboard was empty"}));
    QVERIFY(window.ReportPending());
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QApplication::clipboard()->setImage(picture);
    window.SetReportPending(false);
    window.mPopConvertClipboard_Click();
    QCOMPARE(tray.last().second, QString("LUM2\r\n- clipboard was empty"));
    QCOMPARE(QString::fromStdString(store.GetRecord(2).status), QString("clipboard was empty"));

    // Names: empty and bare names go to the home folder, a folder gets
    // clipboard.pdb, a folder that does not exist falls back.
    QApplication::clipboard()->setText("Clipped text\n");
    const std::pair<std::string, std::string> names[] = {
        {"", home + "clipboard.pdb"},
        {"notes.pdb", home + "notes.pdb"},
        {place.dir.Path(), place.dir.Path() + "clipboard.pdb"},
        {place.dir.Path() + "nowhere/x.pdb", home + "clipboard.pdb"},
    };
    for (const auto& [name, expected] : names) {
        setName(name, false, 0);
        std::filesystem::remove(expected);
        window.mPopConvertClipboard_Click();
        QVERIFY2(std::filesystem::exists(expected), expected.c_str());
        QCOMPARE(tray.last(), (QPair<int, QString>{9, "LUM2\r\n- OK"}));
    }
    QVERIFY(!std::filesystem::exists(place.F("lumclip.tmp")));
    QVERIFY(!window.ClipboardSettingsMode());  // entered for the conversion, left after it

    // An existing file is replaced without a question.
    WriteFileText(home + "notes.pdb", "old");
    setName("notes.pdb", false, 0);
    window.mPopConvertClipboard_Click();
    QVERIFY(ReadFileText(home + "notes.pdb") != "old");

    // Count-up numbering wraps from 999 to 001; a name without a dot gets the number at its end.
    setName("clip.pdb", true, 999);
    window.mPopConvertClipboard_Click();
    QVERIFY(std::filesystem::exists(home + "clip999.pdb"));
    QCOMPARE(store.GetRecord(2).counter, 1);
    setName(home + "plain", true, 5);
    window.mPopConvertClipboard_Click();
    QVERIFY(std::filesystem::exists(home + "plain005"));
    QCOMPARE(store.GetRecord(2).counter, 6);

    // In the clipboard settings the run button converts the clipboard.
    window.cmd_clipsettings_Click();
    QCOMPARE(window.findChild<QPushButton*>("cmd_convert")->text(), QString("Convert Clip"));
    QCOMPARE(window.findChild<QPushButton*>("cmd_clipsettings")->text(), QString("Done"));
    QCOMPARE(window.findChild<QLineEdit*>("txt_countup")->text(), QString("006"));
    window.findChild<QPushButton*>("cmd_convert")->click();
    QVERIFY(std::filesystem::exists(home + "plain006"));
    QCOMPARE(window.findChild<QLineEdit*>("txt_countup")->text(), QString("007"));
    QCOMPARE(window.findChild<QLineEdit*>("txt_status")->text(), QString("OK"));
    window.cmd_clipsettings_Click();
    QCOMPARE(window.findChild<QPushButton*>("cmd_convert")->text(), QString("Convert"));
    QCOMPARE(window.findChild<QPushButton*>("cmd_clipsettings")->text(), QString("Clip Setup"));
}

void ShellTest::helpLauncherFailuresAndSuccess() {
    Place place;
    const QByteArray path = qgetenv("PATH");
    // No browser anywhere.
    qputenv("BROWSER", "");
    qputenv("PATH", QByteArray::fromStdString(place.dir.Path() + "empty"));
    {
        BoxAnswerer boxes;
        QCOMPARE(lum2::shell::OpenInBrowser("file:///x/help/help.htm", nullptr),
                 lum2::shell::BrowserOutcome::kNoBrowser);
        QCOMPARE(boxes.texts, QStringList{"Could not find associated Browser"});
        QCOMPARE(boxes.titles, QStringList{"Browser Not Found"});
    }
    // A browser that cannot start.
    const std::string broken = place.F("broken-browser");
    WriteFileText(broken, "#!/nonexistent/interpreter\n");
    std::filesystem::permissions(broken, std::filesystem::perms::owner_all);
    qputenv("BROWSER", QByteArray::fromStdString(broken));
    {
        BoxAnswerer boxes;
        QCOMPARE(lum2::shell::OpenInBrowser("file:///x/help/help.htm", nullptr),
                 lum2::shell::BrowserOutcome::kNotStarted);
        QCOMPARE(boxes.texts, QStringList{"Web Page not Opened"});
        QCOMPARE(boxes.titles, QStringList{"URL Failed"});
    }
    // A browser that starts gets the address as its one argument.
    const std::string fake = place.F("fake-browser");
    WriteFileText(fake, "#!/bin/sh\nprintf '%s|' \"$@\" > " + place.F("opened") + "\n");
    std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
    qputenv("BROWSER", QByteArray::fromStdString(fake));
    std::filesystem::create_directories(place.F("help"));
    WriteFileText(place.F("help/help.htm"), "<p>help</p>");
    const QString address = lum2::shell::HelpAddress(QString::fromStdString(place.dir.Path()));
    QCOMPARE(address, "file://" + QString::fromStdString(place.F("help/help.htm")));
    QCOMPARE(lum2::shell::OpenInBrowser(address, nullptr), lum2::shell::BrowserOutcome::kStarted);
    QVERIFY(WaitFor([&] { return std::filesystem::exists(place.F("opened")); }, 5000));
    QCOMPARE(QString::fromStdString(ReadFileText(place.F("opened"))), address + "|");
    qputenv("PATH", path);
    qunsetenv("BROWSER");
}

void ShellTest::baseDirectoryOfMenuAndTerminalStarts() {
    Place place;  // the working directory of the started programs
    const std::string data = place.F("data");
    const std::string home = place.F("home");
    const struct {
        QStringList arguments;
        const char* xdgDataHome;  // nullptr: unset
        std::string store;        // the folder that must hold lumdata.dat
        std::string created;      // the topmost folder the start created, mode 0700
    } cases[] = {
        {{"-s"}, "", place.dir.Path(), ""},  // from a terminal: the working directory, as ever
        {{"--menu", "-s"}, data.c_str(), data + "/lum2", data},
        {{"--menu", "-s"}, nullptr, home + "/.local/share/lum2", home + "/.local"},
        {{"--base-dir", "lists/mine", "-S"}, "", place.F("lists/mine"), place.F("lists")},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(data);
        std::filesystem::remove_all(place.F("lists"));
        std::filesystem::remove_all(home + "/.local");
        std::filesystem::remove(place.F("lumdata.dat"));
        if (c.xdgDataHome != nullptr) qputenv("XDG_DATA_HOME", c.xdgDataHome);
        else qunsetenv("XDG_DATA_HOME");
        QProcess* run = place.Start(c.arguments);
        QVERIFY(run->waitForFinished(15000));
        QCOMPARE(run->exitCode(), 0);
        const std::string store = (std::filesystem::path(c.store) / "lumdata.dat").string();
        QVERIFY2(std::filesystem::exists(store), store.c_str());
        QCOMPARE(std::filesystem::exists(place.F("lumdata.dat")), c.store == place.dir.Path());
        for (std::string folder = c.store; !c.created.empty() && folder.size() >= c.created.size();
             folder = std::filesystem::path(folder).parent_path().string()) {
            struct stat info {};
            QCOMPARE(stat(folder.c_str(), &info), 0);
            QCOMPARE(info.st_mode & 07777, mode_t(0700));
        }
    }
    qunsetenv("XDG_DATA_HOME");

    // A base directory that cannot be made is fatal, and said so.
    WriteFileText(place.F("in-the-way"), "");
    BoxAnswerer boxes;
    QCOMPARE(lum2::shell::RunLum2(place.Options({"--base-dir", QString::fromStdString(place.F("in-the-way/lum2"))})), 1);
    QCOMPARE(boxes.icons.value(0), QMessageBox::Critical);
    QVERIFY(boxes.texts.value(0).startsWith("Fatal Error: no base directory: "));
}

void ShellTest::helpVersionAndUsageErrorNeedNoWindow() {
    Place place;
    const QString noDisplay = "none-such";  // a window would fail to start
    QProcess* help = place.Start({"--help"}, noDisplay);
    QProcess* version = place.Start({"--version"}, noDisplay);
    QProcess* wrong = place.Start({"-s", "--base-dir"}, noDisplay);
    for (QProcess* process : {help, version, wrong}) QVERIFY(process->waitForFinished(10000));
    QCOMPARE(help->exitCode(), 0);
    const QString text = help->readAllStandardOutput();
    for (const char* option : {"-s ", "-c ", "--base-dir DIR", "--menu", "--version", "--help"}) {
        QVERIFY2(text.contains(option), option);
    }
    // The version is the one in the window's title.
    QCOMPARE(QString(version->readAllStandardOutput()), "lum2 " + QString(lum2::shell::kShortTitle).section(" V", 1) + "\n");
    QCOMPARE(wrong->exitCode(), 2);
    QVERIFY(wrong->readAllStandardError().contains("--base-dir needs a folder"));
    QVERIFY(!std::filesystem::exists(place.F("lumdata.dat")));
}

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
