// lum2: the desktop program.
#include <QApplication>

#include "engine/safe_file.h"
#include "shell/application.h"
#include "ui/pictures.h"

int main(int argc, char** argv) {
    // A conversion ended by Ctrl-C or a kill leaves no temporary file behind.
    lum2::InstallSignalCleanup();
    QApplication application(argc, argv);
    QApplication::setApplicationName("LUM2");
    QApplication::setApplicationVersion("1.10");
    QApplication::setWindowIcon(lum2::ui::ApplicationIcon());
    // The window may hide into the tray; only Exit or closing it ends the program.
    QApplication::setQuitOnLastWindowClosed(true);

    lum2::shell::StartOptions options;
    options.arguments = QApplication::arguments().mid(1);
    return lum2::shell::RunLum2(options);
}
