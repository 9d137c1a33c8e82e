#include "shell/help_launcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace lum2::shell {

namespace {

constexpr const char* kHelpPage = "help/help.htm";

void Warn(QWidget* owner, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, owner);
    box.exec();
}

}  // namespace

BrowserOutcome OpenInBrowser(const QString& address, QWidget* owner) {
    // $BROWSER may name several programs separated by ":"; the first that
    // exists is taken. No shell is involved: the address is one argument.
    QString program;
    for (const QString& candidate : qEnvironmentVariable("BROWSER").split(':', Qt::SkipEmptyParts)) {
        program = QStandardPaths::findExecutable(candidate);
        if (program.isEmpty() && QFileInfo(candidate).isExecutable()) program = candidate;
        if (!program.isEmpty()) break;
    }
    if (program.isEmpty()) program = QStandardPaths::findExecutable("xdg-open");
    if (program.isEmpty()) {
        Warn(owner, "Browser Not Found", "Could not find associated Browser");
        return BrowserOutcome::kNoBrowser;
    }
    if (!QProcess::startDetached(program, {address})) {
        Warn(owner, "URL Failed", "Web Page not Opened");
        return BrowserOutcome::kNotStarted;
    }
    return BrowserOutcome::kStarted;
}

QString HelpAddress(const QString& baseDirectory) {
    QString page = QDir(baseDirectory).filePath(kHelpPage);
    if (!QFileInfo::exists(page)) {
        const QString installed = QString(LUM2_INSTALL_DATADIR) + "/lum2/" + kHelpPage;
        const QString besideProgram = QCoreApplication::applicationDirPath() + "/../share/lum2/" + kHelpPage;
        if (QFileInfo::exists(installed)) {
            page = installed;
        } else if (QFileInfo::exists(besideProgram)) {
            page = QFileInfo(besideProgram).canonicalFilePath();
        }
    }
    return QUrl::fromLocalFile(QFileInfo(page).absoluteFilePath()).toString();
}

}  // namespace lum2::shell
