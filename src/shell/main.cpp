// lum2: the desktop program.
#include <QApplication>

#include "engine/safe_file.h"
#include "shell/application.h"
#include "shell/command_line.h"
#include "ui/pictures.h"

int main(int argc, char** argv) {
    // Help, version and usage errors need no display, so they come before Qt.
    const int answered = lum2::AnswerOnTerminal(lum2::ParseCommandLine({argv + 1, argv + argc}), LUM2_VERSION);
    if (answered >= 0) return answered;
    // A conversion ended by Ctrl-C or a kill leaves no temporary file behind.
    lum2::InstallSignalCleanup();
    QApplication application(argc, argv);
    QApplication::setApplicationName("LUM2");
    QApplication::setApplicationVersion(LUM2_VERSION);
    QApplication::setWindowIcon(lum2::ui::ApplicationIcon());
    // The window may hide into the tray; only Exit or closing it ends the program.
    QApplication::setQuitOnLastWindowClosed(true);

    lum2::shell::StartOptions options;
    options.arguments = QApplication::arguments().mid(1);
    return lum2::shell::RunLum2(options);
}
