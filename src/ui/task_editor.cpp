// The task editor: showing a record, writing every edit at once, automatic
// naming, the browse dialogs, direction, New, Delete and Save Default.
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QValidator>

#include <cmath>

#include "base/path_functions.h"
#include "tasks/store_layout.h"
#include "ui/clickable_label.h"
#include "ui/main_window.h"
#include "ui/pictures.h"

namespace lum2::ui {

namespace {

const QStringList kPcFilters = {"All (*)", "Text (*.txt)", "C (*.c *.cpp *.h)", "Assembler (*.a *.asm *.h)"};
// The dialog takes the patterns between the last brackets, separated by blanks.
const QStringList kPalmFilters = {"All (*)", "Palm Files(*.prc *.pdb)", "Palm PRC (*.prc)", "Palm PDP (*.pdb)"};

std::string S(const QString& text) { return text.toStdString(); }
QString Q(const std::string& text) { return QString::fromStdString(text); }

// A number box's text read the way the user means it: a leading number, with
// anything that does not read as one counting as 0, rounded to whole.
long ReadNumber(const QString& text) {
    const std::string s = text.trimmed().toStdString();
    char* end = nullptr;
    const double value = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || !std::isfinite(value)) return 0;
    return std::lround(std::nearbyint(value));
}

// Cuts a number box to width characters and clamps it to low..high, writing
// the corrected text back into the box. Returns false while a correction is
// pending (the box's handler runs again for the corrected text).
bool ClampNumberBox(QLineEdit* box, int width, long low, long high, long& value) {
    const QString text = box->text();
    if (text.size() > width) {
        box->setText(text.left(width));
        return false;
    }
    value = ReadNumber(text);
    if (value < low || value > high) {
        box->setText(QString::number(value < low ? low : high));
        return false;
    }
    return true;
}

// Typing or pasting that would make a path longer than its field is
// refused as the keystroke comes, so the box keeps the text it had.
class PathFieldValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& /*position*/) const override {
        return FitsField(S(input), kPathFieldWidth) ? Acceptable : Invalid;
    }
};

std::string HomeFolder() { return S(QDir::homePath()) + PathSeparator(); }

void ShowInfo(QPlainTextEdit* box, const QString& info) {
    QString shown = info;
    box->setPlainText(shown.replace("\r\n", "\n"));
}

}  // namespace

void MainWindow::GuardPathBoxes() {
    for (const auto& [box, which] : {std::pair{txt_pcfile, "PC File"}, std::pair{txt_palmfile, "Palm File"}}) {
        box->setValidator(new PathFieldValidator(box));
        connect(box, &QLineEdit::inputRejected, this, [this, which = which] { RefusePath(which); });
    }
}

void MainWindow::RefusePath(const char* which) { txt_status->setText(Q(PathTooLongText(which))); }

bool MainWindow::SetPathBox(QLineEdit* box, const QString& text) {
    if (!FitsField(S(text), kPathFieldWidth)) {
        RefusePath(box == txt_pcfile ? "PC File" : "Palm File");
        return false;
    }
    box->setText(text);
    return true;
}

int MainWindow::EditedRecordNumber(bool clipboardAllowed) const {
    if (clipboardSettingsMode_) return clipboardAllowed ? kClipboardRecord : 0;
    const int row = SelectedRow();
    return row > 0 ? RecordOfRow(row) : 0;
}

bool MainWindow::EditRecord(const std::function<void(TaskRecord&)>& change, bool clipboardAllowed) {
    if (loadingEditor_) return false;
    const int n = EditedRecordNumber(clipboardAllowed);
    if (n == 0) return false;
    try {
        TaskRecord record = services_.store->GetRecord(n);
        change(record);
        services_.store->PutRecord(n, record);
        current_ = record;
        return true;
    } catch (const std::exception& error) {
        ReportStoreError(error);
        return false;
    }
}

void MainWindow::LoadTaskIntoEditor(int recordNumber) {
    SetEditorEnabled(true);
    try {
        current_ = services_.store->GetRecord(recordNumber);
    } catch (const std::exception& error) {
        ReportStoreError(error);
        return;
    }
    const TaskRecord record = current_;
    loadingEditor_ = true;

    installLoading_ = true;
    for (int k = 0; k < lst_install->count(); ++k) {
        lst_install->item(k)->setCheckState(record.InstallChecked(k) ? Qt::Checked : Qt::Unchecked);
    }
    installLoading_ = false;

    img_action->setPixmap(DirectionPicture(record.direction, 48));

    const QString pc = Q(RightTrim(record.pcfile));
    if (txt_pcfile->text() == pc && !clipboardSettingsMode_) {
        ShowInfo(txt_pcfiledata, FileInfoText(pc, false));
    } else {
        txt_pcfile->setText(pc);
        if (clipboardSettingsMode_) txt_pcfiledata->clear();
    }
    const QString palm = Q(RightTrim(record.palmfile));
    if (txt_palmfile->text() == palm) {
        ShowInfo(txt_palmfiledata, FileInfoText(palm, true));
    } else {
        txt_palmfile->setText(palm);
    }

    txt_tabspace->setText(QString::number(record.tabspace));
    txt_category->setText(QString::number(record.category));
    txt_status->setText(Shown(record.status));
    {
        const QSignalBlocker block(lst_options);
        for (int k = 0; k < lst_options->count(); ++k) {
            lst_options->item(k)->setCheckState(record.HasOption(k + 1) ? Qt::Checked : Qt::Unchecked);
        }
    }
    loadingEditor_ = false;
}

void MainWindow::ClearEditor() {
    {
        // Emptying the boxes is no edit: the row keeps its names.
        const QSignalBlocker pcBlock(txt_pcfile);
        const QSignalBlocker palmBlock(txt_palmfile);
        txt_pcfile->clear();
        txt_palmfile->clear();
    }
    txt_pcfiledata->clear();
    txt_palmfiledata->clear();
    txt_status->clear();
    img_action->setPixmap(DirectionPicture(kPictureNoneSelected, 48));
    SetEditorEnabled(false);
}

void MainWindow::SetEditorEnabled(bool enabled) {
    if (RunActive()) return;
    for (QWidget* control : std::initializer_list<QWidget*>{
             img_action, cmd_browsepcfile, cmd_browsepalmfile, cmd_delete, cmd_savedefault, lbl_tabspace, txt_tabspace,
             lbl_category, txt_category, lbl_install, lst_install, lbl_options, lst_options, lbl_status}) {
        control->setEnabled(enabled);
    }
    txt_pcfile->setReadOnly(!enabled || clipboardSettingsMode_);
    txt_palmfile->setReadOnly(!enabled);
    if (clipboardSettingsMode_) {
        for (QWidget* control :
             std::initializer_list<QWidget*>{cmd_browsepcfile, cmd_delete, cmd_savedefault, img_action}) {
            control->setEnabled(false);
        }
    }
}

QString MainWindow::FileInfoText(const QString& path, bool palmSide) const {
    std::string p = S(path);
    if (palmSide && !CustomChecked()) {
        if (CheckedInstallCount() != 1) return "Distribute Mode";
        int user = 0;
        while (lst_install->item(user)->checkState() != Qt::Checked) ++user;
        try {
            p = services_.targets->UserBackupFolder(user) + FileNamePart(p);
        } catch (const std::exception&) {
            return "no valid Filename or Path";
        }
    }
    if (FileNamePart(p).empty()) return "Browse or Enter Filename";
    switch (FileProbe(p)) {
    case 1: {
        const QFileInfo info(Q(p));
        const QLocale locale;
        return locale.toString(info.lastModified(), QLocale::ShortFormat) + "\r\n" +
               locale.toString(static_cast<qlonglong>(info.size())) + " Byte";
    }
    case 0: return "New File";
    default: return "no valid Filename or Path";
    }
}

std::string MainWindow::EditedPalmPath() const {
    const std::string palm = S(txt_palmfile->text());
    if (FileNamePart(palm).empty()) return {};
    if (CustomChecked()) return palm;
    for (int user = 0; user < lst_install->count(); ++user) {
        if (lst_install->item(user)->checkState() != Qt::Checked) continue;
        try {
            return services_.targets->UserBackupFolder(user) + FileNamePart(palm);
        } catch (const std::exception&) {
            return {};
        }
    }
    return {};
}

bool MainWindow::AutoNamingOn() const { return !namingSuppressed_ && chk_autonaming->checkState() == Qt::Checked; }

void MainWindow::txt_pcfile_Change() {
    if (lvw_tasks->topLevelItemCount() == 0 || clipboardSettingsMode_) return;
    const QString text = txt_pcfile->text();
    const int row = SelectedRow();
    if (row == 0) return;
    QTreeWidgetItem* item = lvw_tasks->topLevelItem(row - 1);
    item->setText(1, Shown(FileNamePart(S(text))));
    ShowInfo(txt_pcfiledata, FileInfoText(text, false));
    EditRecord([&](TaskRecord& record) { record.pcfile = S(text); }, false);

    const int direction = item->data(0, Qt::UserRole).toInt();
    if (AutoNamingOn() &&
        (direction == kDirectionPcToPalm || (direction == kDirectionSync && typedLast_ == TypedLast::kPcFile))) {
        const std::string name = BaseName(FileNamePart(S(text))) + ".pdb";
        if (CustomChecked()) {
            // "Custom" always names a folder: the one typed, else the default.
            std::string folder = DirectoryPart(S(txt_palmfile->text()));
            if (folder.empty()) folder = S(DefaultCustomDirectory());
            SetPathBox(txt_palmfile, Q(folder + name));
        } else {
            SetPathBox(txt_palmfile, Q(name));
        }
    }
}

void MainWindow::txt_palmfile_Change() {
    const QString text = txt_palmfile->text();
    // ".pdb" joins a name without an extension; typing goes on in front of it.
    const std::string name = FileNamePart(S(text));
    // When ".pdb" would not fit, the name is kept as typed (and the user told).
    if (AutoNamingOn() && !text.endsWith(QChar(PathSeparator())) && !name.empty() && ExtensionPart(name).empty() &&
        SetPathBox(txt_palmfile, text + ".pdb")) {
        txt_palmfile->setCursorPosition(txt_palmfile->text().size() - 4);
        return;  // the handler has run for the whole name
    }

    if (clipboardSettingsMode_) {
        ShowInfo(txt_palmfiledata, FileInfoText(text, true));
        EditRecord([&](TaskRecord& record) { record.palmfile = CustomChecked() ? S(text) : name; });
        return;
    }
    if (lvw_tasks->topLevelItemCount() == 0) return;
    const int row = SelectedRow();
    if (row == 0) return;
    QTreeWidgetItem* item = lvw_tasks->topLevelItem(row - 1);
    item->setText(2, Shown(name));
    ShowInfo(txt_palmfiledata, FileInfoText(text, true));
    EditRecord([&](TaskRecord& record) { record.palmfile = CustomChecked() ? S(text) : name; }, false);

    const int direction = item->data(0, Qt::UserRole).toInt();
    if (AutoNamingOn() &&
        (direction == kDirectionPalmToPc || (direction == kDirectionSync && typedLast_ == TypedLast::kPalmFile))) {
        std::string folder = DirectoryPart(S(txt_pcfile->text()));
        if (folder.empty()) {
            try {
                folder = RightTrim(services_.store->GetRecord(kSettingsRecord).pcfile);
            } catch (const std::exception& error) {
                ReportStoreError(error);
            }
        }
        if (folder.empty()) folder = HomeFolder();
        SetPathBox(txt_pcfile, Q(folder + BaseName(name) + ".txt"));
    }
}

void MainWindow::txt_tabspace_Change() {
    long value = 0;
    if (!ClampNumberBox(txt_tabspace, 2, 0, 64, value)) return;
    EditRecord([&](TaskRecord& record) { record.tabspace = static_cast<int16_t>(value); });
}

void MainWindow::txt_category_Change() {
    long value = 0;
    if (!ClampNumberBox(txt_category, 2, 0, 15, value)) return;
    EditRecord([&](TaskRecord& record) { record.category = static_cast<int16_t>(value); });
}

void MainWindow::txt_countup_Change() {
    if (!clipboardSettingsMode_) return;
    long value = 0;
    if (!ClampNumberBox(txt_countup, 3, 0, 999, value)) return;
    EditRecord([&](TaskRecord& record) { record.counter = static_cast<int16_t>(value); });
}

void MainWindow::lst_options_ItemCheck(QListWidgetItem* item) {
    const int k = lst_options->row(item);
    const bool ticked = item->checkState() == Qt::Checked;
    EditRecord([&](TaskRecord& record) {
        if (record.options.size() < static_cast<std::size_t>(k + 1)) record.options.resize(k + 1, '0');
        record.options[k] = ticked ? '1' : '0';
    });
}

void MainWindow::chk_autonaming_Click() {
    try {
        TaskRecord settings = services_.store->GetRecord(kSettingsRecord);
        SetAutoNaming(settings, chk_autonaming->checkState() != Qt::Unchecked);
        services_.store->PutRecord(kSettingsRecord, settings);
    } catch (const std::exception& error) {
        ReportStoreError(error);
    }
}

void MainWindow::chk_askoverwrite_Click() {
    try {
        TaskRecord settings = services_.store->GetRecord(kSettingsRecord);
        SetAskOverwrite(settings, chk_askoverwrite->checkState() != Qt::Unchecked);
        services_.store->PutRecord(kSettingsRecord, settings);
    } catch (const std::exception& error) {
        ReportStoreError(error);
    }
}

void MainWindow::chk_countup_Click() {
    if (!clipboardSettingsMode_) return;
    const bool ticked = chk_countup->isChecked();
    EditRecord([&](TaskRecord& record) { SetCountsUp(record, ticked); });
}

void MainWindow::img_action_Click() { SwitchDirection(); }

void MainWindow::SwitchDirection() {
    const int row = SelectedRow();
    if (row == 0 || clipboardSettingsMode_) return;
    QTreeWidgetItem* item = lvw_tasks->topLevelItem(row - 1);
    int direction = item->data(0, Qt::UserRole).toInt() + 1;
    if (direction > kDirectionSync || direction < kDirectionNone) direction = kDirectionNone;
    item->setData(0, Qt::UserRole, direction);
    item->setIcon(0, DirectionIcon(direction));
    img_action->setPixmap(DirectionPicture(direction, 48));
    EditRecord([&](TaskRecord& record) { record.direction = static_cast<int16_t>(direction); }, false);
    // Only PC to Palm writes to several targets.
    if (direction != kDirectionPcToPalm && CheckedInstallCount() > 1) CollapseInstallToFirst();
}

QString MainWindow::ChooseFile(const QString& title, const QString& filters, int& filterIndex, const QString& folder,
                               const QString& name) {
    QFileDialog dialog(this, title, folder);
    dialog.setObjectName("FileDialog");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QStringList list = filters.split(";;");
    dialog.setNameFilters(list);
    if (filterIndex >= 1 && filterIndex <= list.size()) dialog.selectNameFilter(list.at(filterIndex - 1));
    if (!name.isEmpty()) dialog.selectFile(name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    filterIndex = static_cast<int>(list.indexOf(dialog.selectedNameFilter())) + 1;
    return dialog.selectedFiles().first();
}

void MainWindow::cmd_browsepcfile_Click() {
    typedLast_ = TypedLast::kPcFile;
    const QString before = txt_pcfile->text();
    try {
        TaskRecord settings = services_.store->GetRecord(kSettingsRecord);
        int index = settings.pcfilter;
        const QString chosen = ChooseFile("Open PC-File", kPcFilters.join(";;"), index, Q(DirectoryPart(S(before))),
                                          Q(FileNamePart(S(before))));
        // A path too long to store is refused like a cancel, the filter too.
        if (!chosen.isEmpty() && FitsField(S(chosen), kPathFieldWidth)) {
            settings = services_.store->GetRecord(kSettingsRecord);
            settings.pcfilter = static_cast<int16_t>(index);
            services_.store->PutRecord(kSettingsRecord, settings);
            txt_pcfile->setText(chosen);
        } else if (!chosen.isEmpty()) {
            RefusePath("PC File");
        }
    } catch (const std::exception& error) {
        ReportStoreError(error);
    }
    if (txt_pcfile->text() == before) txt_pcfile_Change();
}

void MainWindow::cmd_browsepalmfile_Click() {
    typedLast_ = TypedLast::kPalmFile;
    const QString before = txt_palmfile->text();
    try {
        TaskRecord settings = services_.store->GetRecord(kSettingsRecord);
        int index = settings.palmfilter;
        QString chosen;
        const bool custom = CustomChecked();
        if (custom || CheckedInstallCount() == 0) {
            chosen = ChooseFile("Open Palm-File from Custom Directory", kPalmFilters.join(";;"), index,
                                Q(DirectoryPart(S(before))), Q(FileNamePart(S(before))));
        } else {
            int user = 0;
            while (lst_install->item(user)->checkState() != Qt::Checked) ++user;
            chosen = ChooseFile("Open Palm-File from " + Q(services_.targets->UserName(user)), kPalmFilters.join(";;"),
                                index, Q(services_.targets->UserBackupFolder(user)), Q(FileNamePart(S(before))));
            if (!chosen.isEmpty()) chosen = Q(FileNamePart(S(chosen)));
        }
        if (!chosen.isEmpty() && FitsField(S(chosen), kPathFieldWidth)) {
            settings = services_.store->GetRecord(kSettingsRecord);
            settings.palmfilter = static_cast<int16_t>(index);
            services_.store->PutRecord(kSettingsRecord, settings);
            txt_palmfile->setText(chosen);
        } else if (!chosen.isEmpty()) {
            RefusePath("Palm File");
        }
    } catch (const std::exception& error) {
        ReportStoreError(error);
    }
    if (txt_palmfile->text() == before) txt_palmfile_Change();
}

void MainWindow::cmd_new_Click() {
    try {
        const int position = AppendNewTask(*services_.store);
        const TaskRecord task = services_.store->GetRecord(RecordOfRow(position));
        {
            const QSignalBlocker block(lvw_tasks);
            AppendRow(task);
            QTreeWidgetItem* item = lvw_tasks->topLevelItem(position - 1);
            lvw_tasks->scrollToItem(item);
            lvw_tasks->setCurrentItem(item);
        }
    } catch (const std::exception& error) {
        ReportStoreError(error);
        return;
    }
    RefreshTaskView(kRefreshAll);
    VScroll1->setValue(VScroll1->maximum());
}

void MainWindow::cmd_delete_Click() {
    if (!SelectedTaskVisible()) return;
    const int count = lvw_tasks->topLevelItemCount();
    const int row = SelectedRow();
    {
        const QSignalBlocker block(lvw_tasks);
        delete lvw_tasks->takeTopLevelItem(row - 1);
        const int next = row > count - 1 ? row - 1 : row;
        if (next >= 1) {
            QTreeWidgetItem* item = lvw_tasks->topLevelItem(next - 1);
            lvw_tasks->scrollToItem(item);
            lvw_tasks->setCurrentItem(item);
            item->setSelected(true);
        }
    }
    try {
        services_.store->DeleteRecord(RecordOfRow(row));
    } catch (const std::exception& error) {
        ReportStoreError(error);
    }
    RefreshTaskView(kRefreshAll);
}

void MainWindow::cmd_savedefault_Click() {
    const int row = SelectedRow();
    if (row == 0) return;
    try {
        TaskRecord settings = services_.store->GetRecord(kSettingsRecord);
        const TaskRecord task = services_.store->GetRecord(RecordOfRow(row));
        settings.pcfile = DirectoryPart(RightTrim(task.pcfile));
        settings.palmfile = DirectoryPart(RightTrim(task.palmfile));
        settings.direction = task.direction;
        settings.options = task.options;
        settings.category = task.category;
        settings.tabspace = task.tabspace;
        settings.install = task.install;
        services_.store->PutRecord(kSettingsRecord, settings);
    } catch (const std::exception& error) {
        ReportStoreError(error);
    }
}

void MainWindow::SetClipboardSettingsMode(bool on) {
    if (on == clipboardSettingsMode_) return;
    if (on) {
        rememberedRow_ = SelectedRow();
        {
            const QSignalBlocker block(lvw_tasks);
            lvw_tasks->clearSelection();
        }
        clipboardSettingsMode_ = true;
        LoadTaskIntoEditor(kClipboardRecord);
        txt_countup->setText(QString("%1").arg(current_.counter, 3, 10, QChar('0')));
        chk_countup->setChecked(CountsUp(current_));
    } else {
        clipboardSettingsMode_ = false;
    }
    // Task-only controls rest while the clipboard settings are edited.
    for (QWidget* control : std::initializer_list<QWidget*>{VScroll1, cmd_browsepcfile, cmd_delete, cmd_new,
                                                            cmd_savedefault, img_action}) {
        control->setEnabled(!on);
    }
    txt_pcfile->setReadOnly(on);
    txt_palmfile->setReadOnly(!on);
    txt_countup->setVisible(on);
    chk_countup->setVisible(on);
    chk_autonaming->setVisible(!on);
    chk_askoverwrite->setVisible(!on);
    for (QWidget* control : std::initializer_list<QWidget*>{cmd_convert, cmd_browsepalmfile, lst_install, lst_options,
                                                            txt_tabspace, txt_category}) {
        control->setEnabled(on);
    }
    if (!on) {
        if (rememberedRow_ >= 1 && rememberedRow_ <= lvw_tasks->topLevelItemCount()) {
            const QSignalBlocker block(lvw_tasks);
            QTreeWidgetItem* item = lvw_tasks->topLevelItem(rememberedRow_ - 1);
            lvw_tasks->setCurrentItem(item);
            item->setSelected(true);
        }
        RefreshTaskView(kRefreshEditor);
    }
}

}  // namespace lum2::ui
