// The clipboard conversion: the clipboard text becomes a Palm file in one
// action, with the settings of the clipboard record.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "base/path_functions.h"
#include "base/safe_file.h"
#include "convert/clipboard_name.h"
#include "convert/converters.h"
#include "tasks/store_layout.h"
#include "ui/gui_host.h"
#include "ui/main_window.h"

namespace lum2::ui {

namespace {

const QString kTipHead = "LUM2\r\n- ";

// The clipboard may hold anything, a password too: the copy is the user's
// alone and never written through a link planted at its name.
bool WriteTextFile(const std::string& path, const QByteArray& bytes, std::string& cause) {
    const int fd = CreateWorkingFile(path, cause);
    if (fd < 0) return false;
    const char* at = bytes.constData();
    std::size_t left = static_cast<std::size_t>(bytes.size());
    while (left > 0) {
        const ssize_t wrote = ::write(fd, at, left);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            cause = path + ": " + ErrorText(wrote < 0 ? errno : ENOSPC);
            ::close(fd);
            ::unlink(path.c_str());
            return false;
        }
        at += wrote;
        left -= static_cast<std::size_t>(wrote);
    }
    if (::close(fd) != 0) {
        cause = path + ": " + ErrorText(errno);
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

}  // namespace

void MainWindow::cmd_clipsettings_Click() {
    if (!clipboardSettingsMode_) {
        savedConvertCaption_ = cmd_convert->text();
        savedConvertTip_ = cmd_convert->toolTip();
        savedClipCaption_ = cmd_clipsettings->text();
        savedClipTip_ = cmd_clipsettings->toolTip();
        cmd_convert->setText("Convert Clip");
        cmd_convert->setToolTip("convert clipboard");
        cmd_clipsettings->setText("Done");
        cmd_clipsettings->setToolTip("exit clipboard settings");
        SetClipboardSettingsMode(true);
    } else {
        cmd_convert->setText(savedConvertCaption_);
        cmd_convert->setToolTip(savedConvertTip_);
        cmd_clipsettings->setText(savedClipCaption_);
        cmd_clipsettings->setToolTip(savedClipTip_);
        SetClipboardSettingsMode(false);
    }
}

void MainWindow::SetClipboardControls(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{cmd_convert, cmd_browsepalmfile, cmd_clipsettings, cmd_exit,
                                                            lst_options, lst_install, chk_countup}) {
        control->setEnabled(enabled);
    }
    for (QLineEdit* box : {txt_palmfile, txt_countup, txt_tabspace, txt_category}) box->setReadOnly(!enabled);
}

bool MainWindow::ConvertClipboard() {
    if (RunActive()) return false;  // a list run owns the editor
    const bool wasInMode = clipboardSettingsMode_;
    TaskRecord settings;
    try {
        settings = services_.store->GetRecord(kClipboardRecord);
    } catch (const std::exception& error) {
        ReportStoreError(error);
        return false;
    }

    bool converted = false;
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasText()) {
        SetTrayIcon(TrayPicture::kErrors, kTipHead + "clipboard was empty");
        settings.status = "clipboard was empty";
        reportPending_ = true;
    } else {
        if (!wasInMode) cmd_clipsettings_Click();
        SetClipboardControls(false);

        const std::string textPath = services_.baseDirectory + kClipboardTextFileName;
        const RemovedOnSignal workingFile{textPath};
        std::string cause;
        if (!WriteTextFile(textPath, data->text().toUtf8(), cause)) {
            // Nothing converted, nothing stored; the editor is given back.
            SetTrayIcon(TrayPicture::kErrors, kTipHead + "Error: could not write " + QString::fromStdString(textPath));
            host_->ReportFailureCause(cause);
            SetClipboardControls(true);
            if (!wasInMode) cmd_clipsettings_Click();
            return false;
        }

        TaskRecord task = settings;
        const std::string home = QDir::homePath().toStdString() + PathSeparator();
        std::string name = ResolveClipboardName(task.palmfile, home);
        if (chk_countup->isChecked()) {
            name = CountedName(name, task.counter);
            const int next = NextCounter(task.counter);
            txt_countup->setText(QString("%1").arg(next, 3, 10, QChar('0')));
            settings.counter = static_cast<int16_t>(next);
        }
        task.pcfile = textPath;
        task.palmfile = name;

        ConversionContext context{*host_, *services_.targets, *services_.codec, services_.baseDirectory};
        host_->overwritePromptSuppressed = true;
        const Outcome outcome = ConvertPcToPalm(task, context);
        host_->overwritePromptSuppressed = false;

        const QString status = QString::fromStdString(RightTrim(task.status));
        converted = outcome.Ok();
        SetTrayIcon(converted ? TrayPicture::kSuccess : TrayPicture::kErrors, kTipHead + status);
        settings.status = task.status;

        SetClipboardControls(true);
        if (!wasInMode) cmd_clipsettings_Click();
        std::error_code ignored;
        std::filesystem::remove(textPath, ignored);
    }

    try {
        services_.store->PutRecord(kClipboardRecord, settings);
    } catch (const std::exception& error) {
        ReportStoreError(error);
    }
    if (wasInMode) txt_status->setText(Shown(settings.status));
    return converted;
}

}  // namespace lum2::ui
