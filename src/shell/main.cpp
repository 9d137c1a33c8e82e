// lum2: the desktop program.
#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "base/safe_file.h"
#include "shell/application.h"
#include "shell/command_line.h"
#include "ui/pictures.h"

namespace {

// Qt aborts a program whose display it cannot open; LUM2 says what it needs
// and ends with status 1 instead.
void EndWithoutDisplay(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, message).toLocal8Bit().constData());
    if (type != QtFatalMsg) return;
    std::fprintf(stderr, "%s\n", lum2::shell::kWindowNeedsDisplay);
    std::_Exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    // Help, version and usage errors need no display, so they come before Qt.
    const int answered = lum2::AnswerOnTerminal(lum2::ParseCommandLine({argv + 1, argv + argc}), LUM2_VERSION);
    if (answered >= 0) return answered;
    // A conversion ended by Ctrl-C or a kill leaves no temporary file behind.
    lum2::InstallSignalCleanup();

    // So does handing a switch over to the running copy, and "-s" where there
    // is no display: both come before the QApplication, which would abort.
    lum2::shell::StartOptions options;
    for (int i = 1; i < argc; ++i) options.arguments << QString::fromLocal8Bit(argv[i]);
    lum2::shell::Preparation start = lum2::shell::PrepareStart(options);
    if (start.exitCode >= 0) return start.exitCode;
    if (!lum2::DisplayNamed(std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"), std::getenv("QT_QPA_PLATFORM"))) {
        return lum2::shell::RunWithoutDisplay(start, options);
    }

    const QtMessageHandler before = qInstallMessageHandler(EndWithoutDisplay);
    QApplication application(argc, argv);
    qInstallMessageHandler(before);
    QApplication::setApplicationName("LUM2");
    QApplication::setApplicationVersion(LUM2_VERSION);
    QApplication::setWindowIcon(lum2::ui::ApplicationIcon());
    // The window may hide into the tray; only Exit or closing it ends the program.
    QApplication::setQuitOnLastWindowClosed(true);

    options.noOneAnswers =
        start.command.commandLineMode && lum2::PlatformUnseen(QGuiApplication::platformName().toStdString());
    return lum2::shell::RunWithWindow(start, options);
}
