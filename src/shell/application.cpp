#include "shell/application.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <filesystem>

#include "base/path_functions.h"
#include "convert/batch_run.h"
#include "convert/headless_host.h"
#include "doc/compression_library.h"
#include "hotsync/install_targets.h"
#include "hotsync/system_user_directory.h"
#include "shell/help_launcher.h"
#include "shell/single_instance.h"
#include "shell/tray_icon.h"
#include "tasks/record_store.h"
#include "tasks/store_layout.h"
#include "ui/main_window.h"

namespace lum2::shell {

namespace {

// Where no one would close the box, the text goes to standard error.
void ShowMessage(QMessageBox::Icon icon, const QString& text, QWidget* owner, bool noOneAnswers) {
    if (noOneAnswers) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return;
    }
    QMessageBox box(icon, "LUM2 Message", text, QMessageBox::Ok, owner);
    box.setObjectName("LUM2Message");
    box.exec();
}

std::vector<std::string> Words(const QStringList& arguments) {
    std::vector<std::string> words;
    for (const QString& argument : arguments) words.push_back(argument.toStdString());
    return words;
}

// The base directory as every copy names it, whatever way it was written:
// links resolved, with a separator.
std::string CanonicalBase(const std::string& baseDirectory) {
    std::error_code failed;
    std::string canonical = std::filesystem::weakly_canonical(baseDirectory, failed).string();
    if (failed || canonical.empty()) canonical = baseDirectory;
    if (canonical.back() != '/') canonical += '/';
    return canonical;
}

// A path as one word for the shell, so that the advice can be pasted.
std::string ShellWord(const std::string& path) {
    if (path.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/._-+,:@%=") ==
        std::string::npos) {
        return path;
    }
    std::string quoted = "'";
    for (const char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// A later copy's end: its switch goes to the running copy when that one has
// the same task list. One LUM2 per user stays the rule, so a copy on another
// list is told where the running one's is and ends with an error.
int HandOverToRunningCopy(const std::string& socketPath, const CommandLine& command, const std::string& base) {
    const char request = command.commandLineMode ? command.switchCharacter : '-';
    const HandOverResult result = HandOver(socketPath, request, base);
    switch (result.kind) {
    case HandOverResult::Kind::kTaken: return 0;
    case HandOverResult::Kind::kOtherBase:
        std::fprintf(stderr,
                     "Error: LUM2 already runs with the task list in %s; close it first or start this one with "
                     "--base-dir %s\n",
                     result.detail.c_str(), ShellWord(result.detail).c_str());
        return 1;
    case HandOverResult::Kind::kFailed: break;
    }
    std::fprintf(stderr, "Error: LUM2 already runs, but the hand-over to it failed: %s\n", result.detail.c_str());
    return 1;
}

// The host of a "-s" run without a display: no one answers its prompts, and
// what the window would have shown goes to standard error.
class UnseenHost : public HeadlessHost {
public:
    explicit UnseenHost(RecordStore& store) : HeadlessHost(&store) { SetAnswerer(SkipUnanswerable); }
    void Note(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void ReportFailureCause(const std::string& cause) override { Note(cause); }
};

}  // namespace

Preparation PrepareStart(const StartOptions& options) {
    // 1-2. The command line and the title.
    Preparation start;
    const CommandLine& command = start.command = ParseCommandLine(Words(options.arguments));
    if (!command.error.empty()) {
        std::fprintf(stderr, "lum2: %s\n", command.error.c_str());
        start.exitCode = 2;
        return start;
    }

    // 4-6. The base directory: the working directory, with a separator. A
    // start from the application menu has the home folder as its working
    // directory, so the desktop entry names the user's data folder instead.
    // It names the task list to a running copy, so it is known before step 3,
    // but only the copy that runs creates it.
    QString base = options.baseDirectory.isEmpty() ? QDir::currentPath() : options.baseDirectory;
    std::string named = command.baseDirectory;
    if (command.menuStart) {
        named = MenuBaseDirectory(qEnvironmentVariable("XDG_DATA_HOME").toStdString(), QDir::homePath().toStdString());
    }
    if (!named.empty()) base = QDir(QString::fromStdString(named)).absolutePath();
    if (!base.endsWith('/')) base += '/';
    start.baseDirectory = base.toStdString();

    // 3. One copy per user: a later copy hands over its switch and ends.
    const std::string name =
        options.instanceName.isEmpty() ? DefaultInstanceName() : options.instanceName.toStdString();
    const InstancePlace place =
        FindInstancePlace(qEnvironmentVariable("XDG_RUNTIME_DIR").toStdString(),
                          qEnvironmentVariable("XDG_CACHE_HOME").toStdString(), QDir::homePath().toStdString(), name);
    if (!place.error.empty()) {
        std::fprintf(stderr, "Error: no private folder for the single-instance lock: %s\n", place.error.c_str());
        start.exitCode = 1;
        return start;
    }
    start.lock = std::make_unique<InstanceLock>();
    std::string why;
    switch (start.lock->Take(place.LockPath(), &why)) {
    case InstanceLock::Outcome::kFailed:
        std::fprintf(stderr, "Error: cannot take the single-instance lock: %s\n", why.c_str());
        start.exitCode = 1;
        return start;
    case InstanceLock::Outcome::kHeld:
        start.exitCode = HandOverToRunningCopy(place.SocketPath(), command, CanonicalBase(start.baseDirectory));
        return start;
    case InstanceLock::Outcome::kTaken: break;
    }
    start.socketPath = place.SocketPath();

    if (!named.empty()) {
        const std::string failure = CreatePrivateFolder(named);
        if (!failure.empty()) start.fatal = "Fatal Error: no base directory: " + failure;
    }
    start.canonicalBase = CanonicalBase(start.baseDirectory);
    return start;
}

int RunWithoutDisplay(Preparation& start, const StartOptions& options) {
    if (!start.fatal.empty()) {
        std::fprintf(stderr, "%s\n", start.fatal.c_str());
        return 1;
    }
    if (!start.command.commandLineMode) {
        std::fprintf(stderr, "%s\n", kWindowNeedsDisplay);
        return 1;
    }
    if (start.command.switchCharacter == 'c') {
        std::fprintf(stderr, "Error: the clipboard needs a display\n");
        return 1;
    }

    // "-s": the list runs as "lum2doc run" runs it, with no one to answer.
    RecordStore store;
    try {
        store.OpenStore(start.baseDirectory);
    } catch (const StoreError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    const std::string note = store.SetAsideMessage();
    if (!note.empty()) std::fprintf(stderr, "%s\n", note.c_str());
    CompressionLibrary library;
    std::vector<std::string> folders = options.libraryFolders;
    if (folders.empty()) folders = CompressionLibrary::DefaultFolders(start.baseDirectory);
    if (!library.Load(folders)) {
        std::fprintf(stderr, "%s\n", library.Error().c_str());
        return 1;
    }
    UnseenHost host(store);
    const BatchSummary summary =
        RunTaskListWithoutWindow(store, host, library.Functions(), start.baseDirectory, stdout);
    store.Close();
    return summary.unfinished ? 1 : 0;
}

int RunLum2(const StartOptions& options) {
    Preparation start = PrepareStart(options);
    if (start.exitCode >= 0) return start.exitCode;
    return RunWithWindow(start, options);
}

namespace {

// Opens the task list; a store that cannot be opened is said, and false returned.
bool OpenStore(RecordStore& store, const std::string& baseDirectory, bool noOneAnswers) {
    try {
        store.OpenStore(baseDirectory);
        return true;
    } catch (const StoreError& error) {
        ShowMessage(QMessageBox::Critical, QString::fromUtf8(error.what()), nullptr, noOneAnswers);
        return false;
    }
}

// 8, 10-12. The window's title, its modes, the help sign, then the columns,
// the check boxes and the task list.
void SetUpWindow(ui::MainWindow& window, const CommandLine& command, bool noOneAnswers, const QString& base) {
    window.setWindowTitle(kFullTitle);
    window.SetCommandLineMode(command.commandLineMode);
    window.SetNoOneAnswers(noOneAnswers);
    QObject::connect(&window, &ui::MainWindow::helpRequested, &window,
                     [&window, base] { OpenInBrowser(HelpAddress(base), &window); });
    window.StartUp(false);
}

// The tray menu's items, each an operation of the window.
TrayIcon::Actions TrayActions(ui::MainWindow& window) {
    TrayIcon::Actions actions;
    actions.convertList = [&window] { window.PressRunButton(); };
    actions.convertClipboard = [&window] { window.ConvertClipboard(); };
    actions.hideWindow = [&window] { window.HideIntoTray(); };
    actions.restoreWindow = [&window] { window.ShowFromTray(); };
    actions.exit = [&window] { window.close(); };
    actions.promptOpen = [&window] { return window.PromptOpen(); };
    return actions;
}

// 13-14. The tray icon, the program's status display, and the window: hidden
// when it was hidden last, minimised for a command-line run. Returns whether
// the tray shows the icon.
bool ShowTrayAndWindow(TrayIcon& tray, ui::MainWindow& window, RecordStore& store, const CommandLine& command) {
    bool hiddenLastTime = false;
    try {
        hiddenLastTime = WasHidden(store.GetRecord(kClipboardRecord));
    } catch (const std::exception&) {}
    const bool trayShown = tray.AddTrayIcon();
    QObject::connect(&window, &ui::MainWindow::trayIconChanged, &tray, &TrayIcon::SetTrayIcon);
    window.SetTrayPresent(trayShown);
    switch (ChooseWindowStart(hiddenLastTime, command.commandLineMode, trayShown)) {
    case WindowStart::kHiddenInTray: break;  // hidden in the tray, as it was left
    case WindowStart::kMinimised: window.showMinimized(); break;
    case WindowStart::kNormal: window.showNormal(); break;
    }
    return trayShown;
}

// Requests of later copies: "s" converts the list, "c" the clipboard, and a
// start without a switch brings the window up, from the tray too: the user
// who started it wants to see the program. A window busy with a run or the
// clipboard settings lets them pass: a second "-s" during a run must not stop it.
void TakeHandOvers(SingleInstance& instance, ui::MainWindow& window) {
    QObject::connect(&instance, &SingleInstance::requestReceived, &window, [&window](char request) {
        QTimer::singleShot(0, &window, [&window, request] {
            if (request == 's') window.RunTaskList();
            if (request == 'c') window.ConvertClipboard();
            if (request == '-') window.ShowFromTray();
        });
    });
}

// 17. A command-line start's conversion, and its report when there is one.
// Returns the exit code: unwatched, it is all that tells a task was not done.
int RunCommandLine(ui::MainWindow& window, const CommandLine& command, bool noOneAnswers) {
    bool done = false;
    if (command.switchCharacter == 's') done = window.RunTaskList();
    if (command.switchCharacter == 'c') done = window.ConvertClipboard();
    if (window.ReportPending()) {
        QString report = window.ReportText();
        ShowMessage(QMessageBox::Warning, report.replace("\r\n", "\n"), &window, noOneAnswers);
    }
    return noOneAnswers && !done ? 1 : 0;
}

}  // namespace

int RunWithWindow(Preparation& start, const StartOptions& options) {
    const CommandLine& command = start.command;
    const bool noOneAnswers = options.noOneAnswers;
    if (!start.fatal.empty()) {
        ShowMessage(QMessageBox::Critical, QString::fromStdString(start.fatal), nullptr, noOneAnswers);
        return 1;
    }
    const std::string& baseDirectory = start.baseDirectory;

    // Later copies on the same task list hand their switches over here.
    SingleInstance instance(start.socketPath, start.canonicalBase);
    QString listenFailure;
    if (!instance.Listen(&listenFailure)) {
        std::fprintf(stderr, "Warning: later copies of LUM2 cannot hand their switches over: %s\n",
                     listenFailure.toLocal8Bit().constData());
    }

    // 7. The install targets: the HotSync users, then "Custom".
    auto directory = MakeSystemUserDirectory(DirectoryEnvironment::FromProcess());
    InstallTargets targets(directory.get());
    for (const auto& warning : targets.FillInstallList()) std::fprintf(stderr, "%s\n", warning.c_str());

    // 9. The store.
    RecordStore store;
    if (!OpenStore(store, baseDirectory, noOneAnswers)) return 1;

    CompressionLibrary library;
    ui::MainWindow window({baseDirectory, &store, &targets, &library.Functions()});
    SetUpWindow(window, command, noOneAnswers, QString::fromStdString(baseDirectory));
    TrayIcon tray(TrayActions(window));
    const bool trayShown = ShowTrayAndWindow(tray, window, store, command);

    // 15. Nothing converts without the compression library.
    std::vector<std::string> folders = options.libraryFolders;
    if (folders.empty()) folders = CompressionLibrary::DefaultFolders(baseDirectory);
    if (!library.Load(folders)) {
        ShowMessage(QMessageBox::Critical, QString::fromStdString(library.Error()), &window, noOneAnswers);
        tray.RemoveTrayIcon();
        store.Close();
        return 1;
    }
    TakeHandOvers(instance, window);

    // 16. The task view and the editor for the selection.
    window.ShowSelection(trayShown ? QString() : QString("Warning: could not create SysTray Icon"));

    int result = 0;
    if (command.commandLineMode) {
        result = RunCommandLine(window, command, noOneAnswers);
    } else {
        QObject::connect(&window, &ui::MainWindow::closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        result = QApplication::exec();
    }

    // Shutdown: the store, then the icon.
    store.Close();
    tray.RemoveTrayIcon();
    return result;
}

}  // namespace lum2::shell
