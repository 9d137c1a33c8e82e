// lum2: the desktop program.
#include <QApplication>
#include <QDir>
#include <QMessageBox>

#include <cstdio>
#include <memory>

#include "engine/compression_library.h"
#include "hotsync/install_targets.h"
#include "hotsync/system_user_directory.h"
#include "tasks/record_store.h"
#include "ui/main_window.h"

namespace {

constexpr const char* kTitle = "LUM2 V1.10 - text to Palm Doc and back";

void FatalMessage(const QString& text) {
    QMessageBox box(QMessageBox::Critical, "LUM2 Message", text, QMessageBox::Ok);
    box.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("LUM2");
    QApplication::setApplicationVersion("1.10");

    // The base directory: the working directory at start-up, with a separator.
    const std::string base = QDir::currentPath().toStdString() + "/";

    auto directory = lum2::MakeSystemUserDirectory(lum2::DirectoryEnvironment::FromProcess());
    lum2::InstallTargets targets(directory.get());
    for (const auto& warning : targets.FillInstallList()) std::fprintf(stderr, "%s\n", warning.c_str());

    lum2::RecordStore store;
    try {
        store.OpenStore(base);
    } catch (const lum2::StoreError& error) {
        FatalMessage(QString::fromUtf8(error.what()));
        return 1;
    }

    lum2::CompressionLibrary library;
    if (!library.Load(lum2::CompressionLibrary::DefaultFolders(base))) {
        FatalMessage(QString::fromStdString(library.Error()));
        return 1;
    }

    lum2::ui::MainWindow window({base, &store, &targets, &library.Functions()});
    window.setWindowTitle(kTitle);
    window.show();
    window.StartUp();
    const int result = QApplication::exec();
    store.Close();
    return result;
}
