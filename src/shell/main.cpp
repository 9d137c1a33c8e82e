// lum2: the desktop program.
#include <QApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "shell/application.h"
#include "shell/command_line.h"
#include "ui/pictures.h"

int main(int argc, char** argv) {
    // Help, version and usage errors need no display, so they come before Qt.
    const lum2::CommandLine line = lum2::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (line.help) {
        std::fputs(lum2::CommandLineHelp().c_str(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("lum2 %s\n", LUM2_VERSION);
        return 0;
    }
    if (!line.error.empty()) {
        std::fprintf(stderr, "lum2: %s\nRun \"lum2 --help\" for the options.\n", line.error.c_str());
        return 2;
    }

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
