// The task-list run through the window against lum2doc run on the same list:
// run time, and how long the window's event loop waits while a large task
// converts (the longest gap between two 10 ms timer ticks, which bounds how
// late a click on Stop is taken, and the repaints of the progress bar).
// Both runs are timed by the wall clock and by processor time (every thread
// of lum2doc, every thread of this program during the window's run): on a
// shared machine the wall clock also counts the time others held the cores.
//
// Usage: window_run_bench TEXT_FILE [PASSES]   (offscreen platform; lum2doc beside it)
// Each pass runs both once; the best pass of each counts.
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

// User and system time so far of this process (RUSAGE_SELF) or of its
// children that ended (RUSAGE_CHILDREN), in seconds.
double ProcessorSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Pass {
    double cliSeconds = 0, cliCpu = 0, windowSeconds = 0, windowCpu = 0;
    qint64 longestGap = 0;
    int repaints = 0;
    QString shownBefore, shownAfter;
};

// Returns false when the window cannot load the codec.
bool RunPass(const std::string& base, const std::string& text, const std::string& bin, Pass& pass) {
    // lum2doc run on the list.
    Clean(base);
    MakeList(base, text);
    QElapsedTimer clock;
    const double childCpu = ProcessorSeconds(RUSAGE_CHILDREN);
    clock.start();
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("JPILOT_HOME", QString::fromStdString(base + "nohome"));
    environment.insert("LUM2_HOTSYNC_ROOT", "");
    cli.setProcessEnvironment(environment);
    cli.start(QString::fromStdString(bin + "/lum2doc"), {"run", "--dir", QString::fromStdString(base)});
    cli.waitForFinished(-1);
    pass.cliSeconds = double(clock.nsecsElapsed()) * 1e-9;
    pass.cliCpu = ProcessorSeconds(RUSAGE_CHILDREN) - childCpu;

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
        return false;
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
    const double ownCpu = ProcessorSeconds(RUSAGE_SELF);
    clock.restart();
    window.cmd_convert->click();
    pass.windowSeconds = double(clock.nsecsElapsed()) * 1e-9;
    pass.windowCpu = ProcessorSeconds(RUSAGE_SELF) - ownCpu;
    probe.stop();
    pass.longestGap = longestGap;
    pass.repaints = repaints;
    pass.shownBefore = shownBefore;
    pass.shownAfter = shownAfter;
    store.Close();
    Clean(base);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const int passes = argc == 3 ? std::atoi(argv[2]) : 1;
    if (argc < 2 || argc > 3 || passes < 1) {
        std::fprintf(stderr, "usage: window_run_bench TEXT_FILE [PASSES]\n");
        return 2;
    }
    const std::string text = std::filesystem::absolute(argv[1]).string();
    const std::string base = (std::filesystem::temp_directory_path() / "lum2-window-bench/").string();
    std::filesystem::create_directories(base);
    const std::string bin = QCoreApplication::applicationDirPath().toStdString();

    Pass best;
    best.cliSeconds = best.cliCpu = best.windowSeconds = best.windowCpu = 1e300;
    for (int i = 0; i < passes; ++i) {
        Pass pass;
        if (!RunPass(base, text, bin, pass)) return 1;
        best.cliSeconds = std::min(best.cliSeconds, pass.cliSeconds);
        best.cliCpu = std::min(best.cliCpu, pass.cliCpu);
        best.windowSeconds = std::min(best.windowSeconds, pass.windowSeconds);
        best.windowCpu = std::min(best.windowCpu, pass.windowCpu);
        if (pass.longestGap >= best.longestGap) {
            best.longestGap = pass.longestGap;
            best.repaints = pass.repaints;
            best.shownBefore = pass.shownBefore;
            best.shownAfter = pass.shownAfter;
        }
    }

    std::printf("best of %d passes    wall s   cpu s\n", passes);
    std::printf("lum2doc run:        %6.2f  %6.2f\n", best.cliSeconds, best.cliCpu);
    std::printf("window run:         %6.2f  %6.2f\n", best.windowSeconds, best.windowCpu);
    std::printf("window / lum2doc:   %6.2f  %6.2f\n", best.windowSeconds / best.cliSeconds,
                best.windowCpu / best.cliCpu);
    std::printf(
        "longest event gap:  %lld ms while converting, the worst pass (%d progress ticks seen), from \"%s\" "
        "to \"%s\"\n",
        static_cast<long long>(best.longestGap), best.repaints, qPrintable(best.shownBefore),
        qPrintable(best.shownAfter));
    return 0;
}
