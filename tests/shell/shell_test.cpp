// The desktop program's shell: start-up in command-line mode, one copy per
// user with hand-over of "-s", the missing library, the hidden start, the
// tray menu, the clipboard conversion, the help launcher, where menu and
// terminal starts keep the lock and the task list, and runs that no one sees.
#include <QLocalServer>
#include <QLocalSocket>
#include <QtTest>
#include <QtWidgets>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "process.h"
#include "static_codec.h"
#include "temp_dir.h"
#include "hotsync/install_targets.h"
#include "shell/application.h"
#include "shell/help_launcher.h"
#include "shell/tray_icon.h"
#include "convert/batch_run.h"
#include "tasks/record_store.h"
#include "ui/main_window.h"

using lum2::test::ReadFileText;
using lum2::test::WriteFileText;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
QString Status(QWidget* window) { return window->findChild<QLineEdit*>("txt_status")->text(); }
// What trayIconChanged carries.
QVariantList Tray(lum2::TrayPicture picture, const QString& tip) { return {QVariant::fromValue(picture), tip}; }

// Clicks OK on every message box that comes up, remembering its texts.
struct BoxAnswerer {
    BoxAnswerer() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr) titles << box->windowTitle(), texts << box->text(), icons << box->icon(), box->accept();
        });
        timer.start(20);
    }
    QStringList titles, texts;
    QList<QMessageBox::Icon> icons;
    QTimer timer;
};

// A base directory with a store; the HotSync folders and the runtime folder
// point into the test's own folder.
struct Place {
    Place() {
        qputenv("HOME", QByteArray::fromStdString(dir.Path() + "home"));
        qputenv("JPILOT_HOME", QByteArray::fromStdString(dir.Path() + "home"));
        qputenv("LUM2_HOTSYNC_ROOT", "");
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir.Path() + "runtime"));
        for (const char* folder : {"home", "runtime"}) std::filesystem::create_directories(dir.Path() + folder);
        // A runtime folder others could enter would not be used.
        std::filesystem::permissions(dir.Path() + "runtime", std::filesystem::perms::owner_all);
    }
    ~Place() {
        // The whole group: what a started lum2 started goes with it.
        for (QProcess* process : processes) {
            if (process->processId() > 0) ::kill(-static_cast<pid_t>(process->processId()), SIGKILL);
            process->kill(), process->waitForFinished(3000), delete process;
        }
    }
    // Appends a PC-to-Palm task for "Custom" (the only target here).
    void AddTask(const std::string& pc, const std::string& palm) {
        lum2::RecordStore store;
        store.OpenStore(dir.Path());
        const int position = lum2::AppendNewTask(store);
        lum2::TaskRecord task = store.GetRecord(position + 2);
        task.pcfile = pc, task.palmfile = palm, task.direction = lum2::kDirectionPcToPalm, task.install = "1";
        store.PutRecord(position + 2, task);
    }
    // Record n as the file holds it now, read past the lock of a running copy.
    lum2::TaskRecord Record(int n) {
        const std::string bytes = ReadFileText(F("lumdata.dat"));
        lum2::RecordBytes record{};
        const std::size_t at = static_cast<std::size_t>(n - 1) * lum2::kRecordSize;
        if (bytes.size() >= at + record.size()) std::memcpy(record.data(), bytes.data() + at, record.size());
        return lum2::DecodeRecord(record);
    }
    // Runs the program in this process, as main() does.
    int Run(const QStringList& arguments, const QString& libraryFolder = LUM2_BIN_DIR) {
        return lum2::shell::RunLum2({arguments, Q(dir.Path()), {libraryFolder.toStdString()}, "lum2-test"});
    }
    std::string F(const std::string& name) const { return dir.File(name); }
    QString Runtime(const char* suffix) const { return Q(F("runtime/lum2-")) + QString::number(geteuid()) + suffix; }

    // Starts the built program in this place; platform "" is no display at
    // all, and an empty value in variables unsets that variable.
    QProcess* Start(const QStringList& arguments, const QString& platform = "offscreen",
                    const QMap<QString, QString>& variables = {}) {
        auto* process = new QProcess;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (platform.isEmpty()) {
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
        } else {
            environment.insert("QT_QPA_PLATFORM", platform);
        }
        for (auto v = variables.begin(); v != variables.end(); ++v) {
            v.value().isEmpty() ? environment.remove(v.key()) : environment.insert(v.key(), v.value());
        }
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(Q(dir.Path()));
        // A lum2 that hangs ends with the test, whatever ends the test.
        process->setChildProcessModifier(lum2::test::EndWithTheTest);
        process->start(QString(LUM2_BIN_DIR) + "/lum2", arguments), process->waitForStarted();
        return processes.append(process), process;
    }

    lum2::test::TempDir dir;
    QList<QProcess*> processes;
};

// Once the program's window is up, hands it to action.
void OnMainWindow(const std::function<void(QWidget*)>& action) {
    QTimer::singleShot(300, [action] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() == "frmMain") action(top);
        }
    });
}

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT

private slots:

    // Starts in this process, as main() makes them: a fatal start says why in
    // a box, a command-line run only its errors.
    void startsShowFatalErrorsAndACommandLineRunOnlyItsErrors() {
        Place place;
        BoxAnswerer boxes;
        QCOMPARE(place.Run({}, Q(place.dir.Path())), 1);  // no library there
        lum2::RecordStore().OpenStore(place.dir.Path());  // the program ended: the store is free again
        WriteFileText(place.F("in-the-way"), "");          // a base directory that cannot be made
        QCOMPARE(place.Run({"--base-dir", Q(place.F("in-the-way/lum2"))}), 1);
        QCOMPARE(boxes.titles << boxes.texts.value(0),
                 (QStringList{"LUM2 Message", "LUM2 Message", "Fatal Error: liblum2.so not found"}));
        QCOMPARE(boxes.icons, (QList<QMessageBox::Icon>{QMessageBox::Critical, QMessageBox::Critical}));
        QVERIFY2(boxes.texts.value(1).startsWith("Fatal Error: no base directory: "), qPrintable(boxes.texts.value(1)));
        boxes.titles.clear(), boxes.texts.clear(), boxes.icons.clear();

        WriteFileText(place.F("a.txt"), "a text\n");
        place.AddTask(place.F("a.txt"), place.F("a.pdb"));
        QCOMPARE(place.Run({" -S "}), 0);
        QCOMPARE(Q(place.Record(3).status) + boxes.texts.join(""), QString("OK"));  // no errors: no message

        place.AddTask(place.F("missing.txt"), place.F("b.pdb"));
        std::filesystem::remove(place.F("a.pdb"));  // no overwrite question
        QCOMPARE(place.Run({"-s"}), 0);
        QCOMPARE(boxes.texts + boxes.titles << Q(place.Record(4).status),
                 (QStringList{"LUM2\n- see list for errors", "LUM2 Message", "Error: PC File does not exist"}));
        QCOMPARE(boxes.icons, QList<QMessageBox::Icon>{QMessageBox::Warning});

        // The clipboard: empty is reported; a failed conversion is only stored.
        QApplication::clipboard()->clear();
        QCOMPARE(place.Run({"-c"}), 0);
        QCOMPARE(QStringList({boxes.texts.value(1), Q(place.Record(2).status)}),
                 QStringList({"LUM2\n- clipboard was empty", "clipboard was empty"}));
        QApplication::clipboard()->setText("");
        QCOMPARE(place.Run({"-c"}), 0);
        QCOMPARE(boxes.texts.size(), 2);
        QVERIFY(place.Record(2).status.rfind("Error", 0) == 0);
    }

    void windowStartsRememberMinimisingAndEndByTrayExit() {
        Place place;
        // A store set aside is said after the tray warning; minimising records
        // the hidden state for the next start...
        WriteFileText(place.F("lumdata.dat"), "no task list");
        QString status;
        int cursor = -1;
        OnMainWindow([&](QWidget* window) {
            status = Status(window), cursor = window->findChild<QLineEdit*>("txt_status")->cursorPosition();
            window->showMinimized();
            QTimer::singleShot(200, window, &QWidget::close);
        });
        QCOMPARE(place.Run({}), 0);
        QVERIFY2(status.startsWith("Warning: could not create SysTray Icon - Warning: "), qPrintable(status));
        QVERIFY2(status.contains("kept as " + Q(place.F("lumdata.dat.bak"))), qPrintable(status));
        QVERIFY(cursor == 0 && place.Record(2).switch2);  // the long line shows its start, which says what happened

        // ...which, without a tray to hide in, starts the window normally and
        // records that it is shown again.
        bool normalAtStart = false;
        OnMainWindow([&](QWidget* window) {
            normalAtStart = window->isVisible() && !window->isMinimized(), status = Status(window);
            QTimer::singleShot(200, window, &QWidget::close);
        });
        QCOMPARE(place.Run({}), 0);
        QVERIFY(normalAtStart && !place.Record(2).switch2);
        QCOMPARE(status, QString("Warning: could not create SysTray Icon"));

        // Hidden, the window comes up again when a later start without a switch hands over.
        bool broughtUp = false;
        pid_t later = -1;
        OnMainWindow([&](QWidget* window) {
            window->hide();
            const std::string socket = place.F("runtime/lum2-test.socket");
            const std::string base = std::filesystem::canonical(place.dir.Path()).string() + "/";
            later = lum2::test::StartChild([socket, base] {
                return lum2::HandOver(socket, '-', base).kind == lum2::HandOverResult::Kind::kTaken ? 0 : 1;
            });
            auto* poll = new QTimer(window);
            QObject::connect(poll, &QTimer::timeout, window, [&broughtUp, window] {
                if (window->isVisible()) broughtUp = true, window->close();
            });
            poll->start(20);
        });
        QObject waiting;  // in case it never comes up
        QTimer::singleShot(8000, &waiting, [] { QApplication::exit(7); });
        QCOMPARE(place.Run({}), 0);
        QVERIFY(broughtUp);
        QCOMPARE(lum2::test::WaitForChild(later), 0);

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
        QObject guard;  // in case Exit did nothing
        QTimer::singleShot(3000, &guard, [] { QApplication::exit(7); });
        QCOMPARE(place.Run({}), 0);
    }

    void oneCopyPerUserHandsOverRefusesOtherListsAndTakesStaleLocks() {
        Place place;
        WriteFileText(place.F("a.txt"), "a text\n");
        place.AddTask(place.F("a.txt"), place.F("a.pdb"));
        // The running copy's lock held with no socket behind it, then with one
        // that never answers: the hand-over fails, and says so.
        const int lock = ::open(place.Runtime(".lock").toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(lock >= 0 && ::flock(lock, LOCK_EX) == 0);
        for (const bool listening : {false, true}) {
            QLocalServer silent;
            if (listening) QVERIFY(silent.listen(place.Runtime(".socket")));
            QProcess* second = place.Start({"-s"});
            QVERIFY(second->waitForFinished(15000));
            const QString error = second->readAllStandardError();
            QVERIFY2(second->exitCode() == 1 && error.startsWith("Error: LUM2 already runs, but the hand-over to it failed: "),
                     qPrintable(error));
        }
        ::close(lock);

        QProcess* first = place.Start({});
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(place.Runtime(".socket")); }, 10000));

        // A second copy without a switch ends at once.
        QProcess* second = place.Start({"-x"});
        QVERIFY(second->waitForFinished(5000) && second->exitCode() == 0);
        QCOMPARE(first->state(), QProcess::Running);

        // With "-s" it hands the run over: the running copy converts its list,
        // stores the outcome and carries on.
        second = place.Start({"-s"});
        QVERIFY(second->waitForFinished(10000) && second->exitCode() == 0);
        QVERIFY(QTest::qWaitFor([&] { return place.Record(3).status == "OK"; }, 10000));
        QCOMPARE(first->state(), QProcess::Running);

        // A copy on another task list, with a switch or without, is told where the running one's list is.
        std::filesystem::remove(place.F("a.pdb"));
        const QString list = Q(std::filesystem::canonical(place.dir.Path()).string()) + "/", other = Q(place.F("other"));
        for (const QStringList& arguments : {QStringList{"--base-dir", other, "-s"}, QStringList{"--base-dir", other}}) {
            second = place.Start(arguments);
            QVERIFY(second->waitForFinished(10000));
            QCOMPARE(second->exitCode(), 1);
            QCOMPARE(QString(second->readAllStandardError()), "Error: LUM2 already runs with the task list in " + list +
                                                                  "; close it first or start this one with --base-dir " +
                                                                  list + "\n");
        }
        // Nor does a message it cannot read: that gets no answer.
        for (const QByteArray& message : {QByteArray("srelative", 10), "s" + QByteArray(5000, '/')}) {
            QLocalSocket peer;
            peer.connectToServer(place.Runtime(".socket"));
            QVERIFY(peer.waitForConnected(3000));
            peer.write(message);
            QVERIFY(peer.waitForDisconnected(3000));
            QCOMPARE(peer.readAll(), QByteArray());
        }
        // The running copy converts nothing for them, and no folder is made for the refused list.
        QVERIFY(!QTest::qWaitFor([&] { return std::filesystem::exists(place.F("a.pdb")); }, 1000));
        QVERIFY(!std::filesystem::exists(place.F("other")));
        QCOMPARE(first->state(), QProcess::Running);

        // A copy that crashed leaves its lock file and socket behind; the next takes them over.
        first->kill(), first->waitForFinished(3000);
        QVERIFY(QFile::exists(place.Runtime(".lock")));
        QProcess* next = place.Start({"-s"});
        QVERIFY(next->waitForFinished(15000) && next->exitCode() == 0);
        QVERIFY(std::filesystem::exists(place.F("a.pdb")));
    }

    void commandLineRunsThatNoOneSees() {
        Place place;
        WriteFileText(place.F("a.txt"), "a text\n");
        place.AddTask(place.F("a.txt"), place.F("a.pdb"));
        const std::string skipped =
            "Skipped, as no one can answer here: Palm File already exists! Overwrite file? " + place.F("a.pdb") + "\n";
        // The platform ("": no display), the switch, whether a.pdb is there
        // already, the exit code, the task's status and a line of standard error.
        const struct { QString platform; QStringList arguments; bool exists; int exitCode; std::string status, error; } cases[] = {
            {"", {"-s"}, false, 0, "OK", ""},
            {"", {"-s"}, true, 1, "User skipped task", skipped},
            {"offscreen", {"-s"}, true, 1, "User skipped task", skipped},
            {"", {"-c"}, true, 1, "", "Error: the clipboard needs a display\n"},
            {"", {}, true, 1, "", lum2::shell::kWindowNeedsDisplay + std::string("\n")}};
        for (const auto& c : cases) {
            {
                lum2::RecordStore store;
                store.OpenStore(place.dir.Path());
                lum2::TaskRecord task = store.GetRecord(3);
                task.status.clear(), store.PutRecord(3, task);
            }
            std::filesystem::remove(place.F("a.pdb"));
            if (c.exists) WriteFileText(place.F("a.pdb"), "old");
            QProcess* run = place.Start(c.arguments, c.platform);
            QVERIFY2(run->waitForFinished(15000), qPrintable(c.arguments.join(" ")));
            const QString error = run->readAllStandardError();
            QVERIFY2(run->exitCode() == c.exitCode && error.contains(Q(c.error)), qPrintable(error));
            QCOMPARE(Q(place.Record(3).status), Q(c.status));
            QCOMPARE(ReadFileText(place.F("a.pdb")) == "old", c.exists);
        }
    }

    void trayMenuActions() {
        QStringList called;
        bool promptOpen = false;
        const auto call = [&called](const char* name) { return [&called, name] { called << name; }; };
        lum2::shell::TrayIcon tray({call("list"), call("clipboard"), call("hide"), call("restore"), call("exit"),
                                    [&] { return promptOpen; }});
        // Offscreen there is no notification area: the window keeps the news.
        QVERIFY(!tray.AddTrayIcon());

        QMenu* menu = tray.Menu();
        QStringList items;
        for (QAction* action : menu->actions()) {
            items << action->objectName() + "=" + (action->isSeparator() ? QString("-") : action->text());
            if (!action->isSeparator()) action->trigger();
        }
        QCOMPARE(items, (QStringList{"mPopConvertList=C&onvert List", "mPopConvertClipboard=&Convert Clipboard", "mnuSepp1=-",
                                     "mPopHideWindow=&Hide Window", "mPopRestoreWindow=&Restore Window", "mnuSepp2=-",
                                     "mPopExit=&Exit"}));
        QCOMPARE(called, (QStringList{"list", "clipboard", "hide", "restore", "exit"}));

        // Opening the menu resets the picture; while a prompt is open it offers nothing.
        using lum2::TrayPicture;
        tray.SetTrayIcon(TrayPicture::kErrors, "LUM2\r\n- see list for errors");
        QMetaObject::invokeMethod(menu, "aboutToShow");
        QVERIFY(tray.Image() == TrayPicture::kNormal && tray.Tip() == "LUM2");
        tray.SetTrayIcon(TrayPicture::kSuccess, "LUM2\r\n- OK"), promptOpen = true;
        QMetaObject::invokeMethod(menu, "aboutToShow");
        QVERIFY(tray.Image() == TrayPicture::kSuccess && !menu->findChild<QAction*>("mPopConvertList")->isEnabled());
    }

    void clipboardConversion() {
        Place place;
        const std::string home = place.dir.Path() + "home/";
        lum2::RecordStore store;
        store.OpenStore(place.dir.Path());
        lum2::InstallTargets targets(nullptr);
        targets.FillInstallList();
        const lum2::CodecFunctions codec = lum2::test::StaticCodec();
        lum2::ui::MainWindow window({place.dir.Path(), &store, &targets, &codec});
        window.StartUp();
        QSignalSpy tray(&window, &lum2::ui::MainWindow::trayIconChanged);
        const auto convert = [&](const std::string& name, bool countUp, int counter, const char* options = "000000") {
            lum2::TaskRecord clip = store.GetRecord(2);
            clip.palmfile = name, clip.switch1 = countUp, clip.counter = static_cast<int16_t>(counter), clip.options = options;
            store.PutRecord(2, clip);
            window.ConvertClipboard();
        };

        // An image only is an empty clipboard: nothing is converted.
        QImage picture(4, 4, QImage::Format_RGB32);
        picture.fill(Qt::red), QApplication::clipboard()->setImage(picture);
        window.ConvertClipboard();
        QCOMPARE(tray.last(), Tray(lum2::TrayPicture::kErrors, "LUM2\r\n- clipboard was empty"));
        QVERIFY(window.ReportPending() && store.GetRecord(2).status == "clipboard was empty");

        // The stored name is resolved against the home folder and counted up as
        // the record says, the next counter stored; an existing file is replaced
        // without a question. (Every naming rule is the clipboard names' test's.)
        QApplication::clipboard()->setText("Clipped text\n");
        WriteFileText(home + "clip999.pdb", "old");
        convert("clip.pdb", true, 999);
        QVERIFY(ReadFileText(home + "clip999.pdb") != "old" && store.GetRecord(2).counter == 1);
        QCOMPARE(tray.last(), Tray(lum2::TrayPicture::kSuccess, "LUM2\r\n- OK"));
        // The settings mode is entered for the conversion and left after it.
        QVERIFY(!std::filesystem::exists(place.F("lumclip.tmp")) && !window.ClipboardSettingsMode());

        // In the clipboard settings the run button converts the clipboard.
        const auto texts = [&](QStringList names) {
            for (QString& name : names) name = window.findChild<QWidget*>(name)->property("text").toString();
            return names;
        };
        window.cmd_clipsettings->click();
        QCOMPARE(texts({"cmd_convert", "cmd_clipsettings", "txt_countup"}), (QStringList{"Convert Clip", "Done", "001"}));
        window.findChild<QPushButton*>("cmd_convert")->click();
        QVERIFY(std::filesystem::exists(home + "clip001.pdb"));
        QCOMPARE(texts({"txt_countup", "txt_status"}), (QStringList{"002", "OK"}));
        window.cmd_clipsettings->click();
        QCOMPARE(texts({"cmd_convert", "cmd_clipsettings"}), (QStringList{"Convert", "Clip Setup"}));

        // The Palm character set only when the record asks for the UTF-8 conversion; no name is clipboard.pdb.
        QApplication::clipboard()->setText(QString::fromUtf8("caf\u00e9 \u2192"));
        for (const char* options : {"0000001", "000000"}) {
            convert("", false, 0, options);
            QVERIFY(ReadFileText(home + "clipboard.pdb").ends_with(options[6] == '1' ? "caf\xE9 ->" : "caf\xC3\xA9 \xE2\x86\x92"));
        }
    }

    void helpLauncherFailuresAndSuccess() {
        Place place;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QByteArray::fromStdString(place.dir.Path() + "empty"));
        const std::string broken = place.F("broken-browser"), fake = place.F("fake-browser");
        WriteFileText(broken, "#!/nonexistent/interpreter\n");
        // It writes beside and renames, so the file is whole once it is there.
        WriteFileText(fake, "#!/bin/sh\nprintf '%s|' \"$@\" > " + place.F("opening") + " && /bin/mv " + place.F("opening") + " " +
                                place.F("opened") + "\n");
        for (const std::string& browser : {broken, fake}) std::filesystem::permissions(browser, std::filesystem::perms::owner_all);
        std::filesystem::create_directories(place.F("help"));
        WriteFileText(place.F("help/help.htm"), "<p>help</p>");
        const QString address = lum2::shell::HelpAddress(Q(place.dir.Path()));
        QCOMPARE(address, "file://" + Q(place.F("help/help.htm")));

        // No browser anywhere, one that cannot start, and one that starts.
        using Outcome = lum2::shell::BrowserOutcome;
        // The message box's text and title.
        const struct { std::string browser; Outcome outcome; QStringList box; } cases[] = {
            {"", Outcome::kNoBrowser, {"Could not find associated Browser", "Browser Not Found"}},
            {broken, Outcome::kNotStarted, {"Web Page not Opened", "URL Failed"}},
            {fake, Outcome::kStarted, {}}};
        for (const auto& c : cases) {
            qputenv("BROWSER", QByteArray::fromStdString(c.browser));
            BoxAnswerer boxes;
            QCOMPARE(lum2::shell::OpenInBrowser(address, nullptr), c.outcome);
            QCOMPARE(boxes.texts + boxes.titles, c.box);
        }
        // The browser gets the address as its one argument.
        QVERIFY(QTest::qWaitFor([&] { return std::filesystem::exists(place.F("opened")); }, 5000));
        QCOMPARE(Q(ReadFileText(place.F("opened"))), address + "|");
        qputenv("PATH", path), qunsetenv("BROWSER");
    }

    void helpVersionAndUsageErrorsNeedNoDisplay() {
        Place place;
        const QString noDisplay = "none-such";  // no window could start
        QProcess *help = place.Start({"--help"}, noDisplay), *version = place.Start({"--version"}, noDisplay);
        QProcess* wrong = place.Start({"-s", "--base-dir"}, noDisplay);
        for (QProcess* process : {help, version, wrong}) QVERIFY(process->waitForFinished(10000));
        QCOMPARE(QList<int>({help->exitCode(), version->exitCode(), wrong->exitCode()}), QList<int>({0, 0, 2}));
        const QString text = help->readAllStandardOutput();
        for (const char* o : {"-s ", "-c ", "--base-dir DIR", "--menu", "--version", "--help"}) QVERIFY2(text.contains(o), o);
        // The version is the one in the window's title.
        QCOMPARE(QString(version->readAllStandardOutput()), "lum2 " + QString(lum2::shell::kShortTitle).section(" V", 1) + "\n");
        QVERIFY(wrong->readAllStandardError().contains("--base-dir needs a folder"));
        QVERIFY(!std::filesystem::exists(place.F("lumdata.dat")));
    }

    // Where a run keeps its lock and its task list, and every folder it makes
    // for them is the user's alone: a lock anyone could plant in the shared
    // temporary folder must not stop it, nor may a runtime folder others can
    // enter hold the lock.
    void theLockAndTheTaskListLiveInFoldersOfTheUsersOwn() {
        Place place;  // the working directory of the started programs
        const QString uid = QString::number(geteuid());
        std::filesystem::create_directories(place.F("tmp"));
        QLockFile planted(Q(place.F("tmp/lum2-")) + uid + ".lock");
        QVERIFY(planted.tryLock(0));
        using std::filesystem::perms;
        const std::string open = place.F("open"), cache = place.F("home/.cache"), data = place.F("data");
        const std::string xdg = place.F("xdg"), local = place.F("home/.local");
        std::filesystem::create_directories(open);
        std::filesystem::permissions(open, perms::owner_all | perms::group_read | perms::group_exec | perms::others_read |
                                               perms::others_exec);
        // The switches; XDG_RUNTIME_DIR, XDG_CACHE_HOME and XDG_DATA_HOME ("": unset); the folders that must
        // hold the lock and lumdata.dat, each with the topmost folder the run made for it ("": none).
        const struct { QStringList arguments; std::string runtime, cacheHome, dataHome, lock, lockMade, store, storeMade; } cases[] = {
            // From a terminal the task list is in the working directory, as ever.
            {{"-s"}, "", "", "", cache + "/lum2", cache, place.dir.Path(), ""},
            {{"--menu", "-s"}, open, "", data, cache + "/lum2", cache, data + "/lum2", data},
            {{"--menu", "-S"}, "", xdg + "/cache", "", xdg + "/cache/lum2", xdg, local + "/share/lum2", local},
            {{"--base-dir", "lists/mine", "-S"}, "", "", "", cache + "/lum2", cache, place.F("lists/mine"), place.F("lists")}};
        for (const auto& c : cases) {
            for (const std::string& made : {cache, xdg, data, local, place.F("lists"), place.F("lumdata.dat")}) {
                std::filesystem::remove_all(made);
            }
            QProcess* run = place.Start(c.arguments, "offscreen",
                                        {{"XDG_RUNTIME_DIR", Q(c.runtime)}, {"XDG_CACHE_HOME", Q(c.cacheHome)},
                                         {"XDG_DATA_HOME", Q(c.dataHome)}, {"TMPDIR", Q(place.F("tmp"))}});
            QVERIFY2(run->waitForFinished(15000) && run->exitCode() == 0, qPrintable(c.arguments.join(' ')));
            QCOMPARE(QDir(Q(c.lock)).entryList({"lum2-" + uid + "*.lock"}, QDir::Files).size(), 1);
            QVERIFY2(std::filesystem::exists(c.store + "/lumdata.dat"), c.store.c_str());
            QCOMPARE(std::filesystem::exists(place.F("lumdata.dat")), c.store == place.dir.Path());
            for (const auto& [held, made] : {std::pair{c.lock, c.lockMade}, std::pair{c.store, c.storeMade}}) {
                for (std::string folder = held; !made.empty() && folder.size() >= made.size();
                     folder = std::filesystem::path(folder).parent_path().string()) {
                    QCOMPARE(std::filesystem::status(folder).permissions(), perms::owner_all);
                }
            }
        }
    }
};

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
