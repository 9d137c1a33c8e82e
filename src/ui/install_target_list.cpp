// The install target list: which combinations of users and "Custom" a task
// may have, stored in its install text, and the Palm file text following the
// choice between a user and "Custom".
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

#include "base/path_functions.h"
#include "tasks/store_layout.h"
#include "ui/main_window.h"

namespace lum2::ui {

namespace {

constexpr int kStoredEntries = 32;

}  // namespace

int MainWindow::CheckedInstallCount() const {
    int checked = 0;
    for (int k = 0; k < lst_install->count(); ++k) checked += lst_install->item(k)->checkState() == Qt::Checked;
    return checked;
}

bool MainWindow::CustomChecked() const {
    const int custom = lst_install->count() - 1;
    return custom >= 0 && lst_install->item(custom)->checkState() == Qt::Checked;
}

QString MainWindow::DefaultCustomDirectory() const {
    try {
        const std::string folder = RightTrim(services_.store->GetRecord(kSettingsRecord).palmfile);
        if (!folder.empty()) return QString::fromStdString(folder);
    } catch (const std::exception&) {}
    return QDir::homePath() + QChar(PathSeparator());
}

void MainWindow::lst_install_ItemCheck(QListWidgetItem* item) {
    const int k = lst_install->row(item);
    if (k < 0 || k >= kStoredEntries || installLoading_ || installCheckActive_) return;
    if (EditedRecordNumber(true) == 0) return;  // no task shown: nothing to change

    // The unchecking below changes other entries; those changes are part of
    // this one event, so the handler keeps out of its own way meanwhile.
    installCheckActive_ = true;
    if (CheckedInstallCount() == 0) {
        // The list never stays empty: the only entry is checked again.
        item->setCheckState(Qt::Checked);
        installCheckActive_ = false;
        return;
    }
    int direction = kDirectionPcToPalm;
    if (!clipboardSettingsMode_) {
        const int row = SelectedRow();
        try {
            direction = services_.store->GetRecord(RecordOfRow(row)).direction;
        } catch (const std::exception& error) {
            ReportStoreError(error);
        }
    }
    const bool exclusive = (!clipboardSettingsMode_ && direction != kDirectionPcToPalm) || CustomChecked();
    if (exclusive) {
        for (int j = 0; j < lst_install->count(); ++j) {
            if (j != k) lst_install->item(j)->setCheckState(Qt::Unchecked);
        }
    }
    installCheckActive_ = false;
    StoreInstallSelection();
}

void MainWindow::CollapseInstallToFirst() {
    installCheckActive_ = true;
    bool kept = false;
    for (int j = 0; j < lst_install->count(); ++j) {
        QListWidgetItem* entry = lst_install->item(j);
        if (entry->checkState() != Qt::Checked) continue;
        if (kept) entry->setCheckState(Qt::Unchecked);
        kept = true;
    }
    installCheckActive_ = false;
    StoreInstallSelection();
}

void MainWindow::StoreInstallSelection() {
    EditRecord([this](TaskRecord& record) {
        const int stored = std::min(lst_install->count(), kStoredEntries);
        if (record.install.size() < static_cast<std::size_t>(stored)) record.install.resize(stored, '0');
        for (int j = 0; j < stored; ++j) {
            record.install[j] = lst_install->item(j)->checkState() == Qt::Checked ? '1' : '0';
        }
    });

    // A user target never carries a folder; "Custom" always does.
    const std::string text = txt_palmfile->text().toStdString();
    std::string wanted;
    if (CustomChecked()) {
        std::string folder = DirectoryPart(text);
        if (folder.empty()) folder = DefaultCustomDirectory().toStdString();
        wanted = folder + FileNamePart(text);
    } else {
        wanted = FileNamePart(text);
    }
    if (wanted == text) {
        QString info = FileInfoText(txt_palmfile->text(), true);
        txt_palmfiledata->setPlainText(info.replace("\r\n", "\n"));
    } else {
        // Only the folder changes: the PC name the user chose stays as it is.
        namingSuppressed_ = true;
        SetPathBox(txt_palmfile, QString::fromStdString(wanted));
        namingSuppressed_ = false;
    }
}

}  // namespace lum2::ui
