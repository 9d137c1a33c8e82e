// The task-list run through the window against lum2doc run on the same list:
// run time, and how long the window's event loop waits while a large task
// converts (the longest gap between two 10 ms timer ticks, which bounds how
// late a click on Stop is taken, and the repaints of the progress bar).
//
// Usage: window_run_bench TEXT_FILE   (offscreen platform; lum2doc beside it)
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <filesystem>

#include "convert/batch_run.h"
#include "doc/compression_library.h"
#include "hotsync/install_targets.h"
#include "tasks/record_store.h"
#include "tasks/store_layout.h"
#include "ui/main_window.h"

namespace {

void MakeList(const std::string& base, const std::string& text) {
    lum2::RecordStore store;
    store.OpenStore(base);
    const auto add = [&](std::string pc, std::string palm, int direction, std::string options) {
        const int position = lum2::AppendNewTask(store);
        lum2::TaskRecord task = store.GetRecord(lum2::RecordOfRow(position));
        task.pcfile = std::move(pc);
        task.palmfile = std::move(palm);
        task.direction = static_cast<int16_t>(direction);
        task.options = std::move(options);
        task.install.assign(1, '1');  // only "Custom": the list has no users here
        store.PutRecord(lum2::RecordOfRow(position), task);
    };
    add(text, base + "big.pdb", lum2::kDirectionPcToPalm, "100000");
    add(base + "big.txt", base + "big.pdb", lum2::kDirectionPalmToPc, "000000");
    lum2::TaskRecord settings = store.GetRecord(lum2::kSettingsRecord);
    lum2::SetAskOverwrite(settings, false);  // nothing asks: both lists run alike
    store.PutRecord(lum2::kSettingsRecord, settings);
}

using lum2::TaskRecord;

void Clean(const std::string& base) {
    for (const char* name : {"lumdata.dat", "big.pdb", "big.txt"}) std::filesystem::remove(base + name);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_run_bench TEXT_FILE\n");
        return 2;
    }
    const std::string text = std::filesystem::absolute(argv[1]).string();
    const std::string base = (std::filesystem::temp_directory_path() / "lum2-window-bench/").string();
    std::filesystem::create_directories(base);
    const std::string bin = QCoreApplication::applicationDirPath().toStdString();

    // lum2doc run on the list.
    Clean(base);
    MakeList(base, text);
    QElapsedTimer clock;
    clock.start();
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("JPILOT_HOME", QString::fromStdString(base + "nohome"));
    environment.insert("LUM2_HOTSYNC_ROOT", "");
    cli.setProcessEnvironment(environment);
    cli.start(QString::fromStdString(bin + "/lum2doc"), {"run", "--dir", QString::fromStdString(base)});
    cli.waitForFinished(-1);
    const double cliSeconds = clock.elapsed() / 1000.0;

    // The same list through the window.
    Clean(base);
    MakeList(base, text);
    lum2::RecordStore store;
    store.OpenStore(base);
    lum2::InstallTargets targets(nullptr);
    targets.FillInstallList();
    lum2::CompressionLibrary library;
    if (!library.Load(lum2::CompressionLibrary::DefaultFolders(base))) {
        std::fprintf(stderr, "%s\n", library.Error().c_str());
        return 1;
    }
    lum2::ui::MainWindow window({base, &store, &targets, &library.Functions()});
    window.show();
    window.StartUp();

    QElapsedTimer tick;
    qint64 longestGap = 0;
    int repaints = 0;
    // What the window showed before and after the longest gap tells which
    // stage of the run held the event loop.
    QString shownBefore, shownAfter, shown;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const QString now = window.lbl_progress->isVisible() ? window.lbl_progress->text() : window.txt_status->text();
        if (tick.isValid() && tick.elapsed() > longestGap) {
            longestGap = tick.elapsed();
            shownBefore = shown;
            shownAfter = now;
        }
        shown = now;
        tick.restart();
        if (window.ProgressBar1->isVisible()) ++repaints;
    });
    probe.start();
    clock.restart();
    window.cmd_convert->click();
    const double windowSeconds = clock.elapsed() / 1000.0;
    probe.stop();

    std::printf("lum2doc run:        %.2f s\n", cliSeconds);
    std::printf("window run:         %.2f s  (ratio %.2f)\n", windowSeconds, windowSeconds / cliSeconds);
    std::printf("longest event gap:  %lld ms while converting (%d progress ticks seen), from \"%s\" to \"%s\"\n",
                static_cast<long long>(longestGap), repaints, qPrintable(shownBefore), qPrintable(shownAfter));
    store.Close();
    Clean(base);
    return 0;
}
