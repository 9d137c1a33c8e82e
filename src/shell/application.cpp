#include "shell/application.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

#include "engine/compression_library.h"
#include "engine/path_functions.h"
#include "hotsync/install_targets.h"
#include "hotsync/system_user_directory.h"
#include "shell/command_line.h"
#include "shell/help_launcher.h"
#include "shell/single_instance.h"
#include "shell/tray_icon.h"
#include "tasks/record_store.h"
#include "ui/clickable_label.h"
#include "ui/main_window.h"

namespace lum2::shell {

namespace {

constexpr int kClipboardRecord = 2;

void ShowMessage(QMessageBox::Icon icon, const QString& text, QWidget* owner) {
    QMessageBox box(icon, "LUM2 Message", text, QMessageBox::Ok, owner);
    box.setObjectName("LUM2Message");
    box.exec();
}

std::vector<std::string> Words(const QStringList& arguments) {
    std::vector<std::string> words;
    for (const QString& argument : arguments) words.push_back(argument.toStdString());
    return words;
}

}  // namespace

int RunLum2(const StartOptions& options) {
    // 1-2. The command line and the title.
    const CommandLine command = ParseCommandLine(Words(options.arguments));
    if (!command.error.empty()) {
        std::fprintf(stderr, "lum2: %s\n", command.error.c_str());
        return 2;
    }

    // 3. One copy per user: a later copy hands over its switch and ends.
    SingleInstance instance(options.instanceName.isEmpty() ? SingleInstance::DefaultName() : options.instanceName);
    if (!instance.Acquire()) {
        if (command.commandLineMode) instance.SendToRunningCopy(command.switchCharacter);
        return 0;
    }

    // 4-6. The base directory: the working directory, with a separator. A
    // start from the application menu has the home folder as its working
    // directory, so the desktop entry names the user's data folder instead.
    QString base = options.baseDirectory.isEmpty() ? QDir::currentPath() : options.baseDirectory;
    std::string named = command.baseDirectory;
    if (command.menuStart) {
        named = MenuBaseDirectory(qEnvironmentVariable("XDG_DATA_HOME").toStdString(), QDir::homePath().toStdString());
    }
    if (!named.empty()) {
        const std::string failure = CreatePrivateFolder(named);
        if (!failure.empty()) {
            ShowMessage(QMessageBox::Critical, QString::fromStdString("Fatal Error: no base directory: " + failure), nullptr);
            return 1;
        }
        base = QDir(QString::fromStdString(named)).absolutePath();
    }
    if (!base.endsWith('/')) base += '/';
    const std::string baseDirectory = base.toStdString();

    // 7. The install targets: the HotSync users, then "Custom".
    auto directory = MakeSystemUserDirectory(DirectoryEnvironment::FromProcess());
    InstallTargets targets(directory.get());
    for (const auto& warning : targets.FillInstallList()) std::fprintf(stderr, "%s\n", warning.c_str());

    // 9. The store.
    RecordStore store;
    try {
        store.OpenStore(baseDirectory);
    } catch (const StoreError& error) {
        ShowMessage(QMessageBox::Critical, QString::fromUtf8(error.what()), nullptr);
        return 1;
    }

    CompressionLibrary library;
    ui::MainWindow window({baseDirectory, &store, &targets, &library.Functions()});
    window.setWindowTitle(kFullTitle);
    window.SetCommandLineMode(command.commandLineMode);
    QObject::connect(window.img_help, &ui::ClickableLabel::clicked, &window,
                     [&window, base] { OpenInBrowser(HelpAddress(base), &window); });

    // 8, 10-12. Columns, check boxes, the task list.
    window.StartUp(false);

    // 13. Begin hidden when the window was hidden last, and for a command-line run.
    bool hiddenLastTime = false;
    try {
        hiddenLastTime = store.GetRecord(kClipboardRecord).switch2;
    } catch (const std::exception&) {
    }

    // 14. The tray icon, the program's status display.
    TrayIcon::Actions actions;
    actions.convertList = [&window] { window.cmd_convert_Click(); };
    actions.convertClipboard = [&window] { window.mPopConvertClipboard_Click(); };
    actions.hideWindow = [&window] { window.showMinimized(); };
    actions.restoreWindow = [&window] {
        window.showNormal();
        window.raise();
        window.activateWindow();
    };
    actions.exit = [&window] { window.close(); };
    actions.promptOpen = [&window] { return window.Prompts().open; };
    TrayIcon tray(actions);
    const bool trayShown = tray.AddTrayIcon();
    QObject::connect(&window, &ui::MainWindow::trayIconChanged, &tray, &TrayIcon::SetTrayIcon);
    window.SetTrayPresent(trayShown);
    switch (ChooseWindowStart(hiddenLastTime, command.commandLineMode, trayShown)) {
    case WindowStart::kHiddenInTray:
        break;  // hidden in the tray, as it was left
    case WindowStart::kMinimised:
        window.showMinimized();
        break;
    case WindowStart::kNormal:
        window.showNormal();
        break;
    }
    // 15. Nothing converts without the compression library.
    std::vector<std::string> folders = options.libraryFolders;
    if (folders.empty()) folders = CompressionLibrary::DefaultFolders(baseDirectory);
    if (!library.Load(folders)) {
        ShowMessage(QMessageBox::Critical, QString::fromStdString(library.Error()), &window);
        tray.RemoveTrayIcon();
        store.Close();
        return 1;
    }

    // Requests of later copies: "s" converts the list, "c" the clipboard.
    QObject::connect(&instance, &SingleInstance::requestReceived, &window, [&window](char request) {
        QTimer::singleShot(0, &window, [&window, request] {
            if (request == 's') window.cmd_convert_Click();
            if (request == 'c') window.mPopConvertClipboard_Click();
        });
    });

    // 16. The task view and the editor for the selection.
    window.RefreshTaskView(3);
    // After the editor has shown the selection, which would overwrite it.
    if (!trayShown) window.txt_status->setText("Warning: could not create SysTray Icon");
    window.ShowStoreSetAside();

    int result = 0;
    if (command.commandLineMode) {
        // 17. The conversion, the report when there is one, and the end.
        if (command.switchCharacter == 's') window.cmd_convert_Click();
        if (command.switchCharacter == 'c') window.mPopConvertClipboard_Click();
        if (window.ReportPending()) {
            QString report = window.ReportText();
            ShowMessage(QMessageBox::Warning, report.replace("\r\n", "\n"), &window);
        }
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
