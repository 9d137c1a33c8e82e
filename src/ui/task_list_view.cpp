// The task list: rows in record order, the scroll bar kept in step with the
// list, clicks on the direction column, the connector and the pulsing "New".
#include <algorithm>

#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include "base/path_functions.h"
#include "tasks/store_layout.h"
#include "ui/clickable_label.h"
#include "ui/connector_widget.h"
#include "ui/main_window.h"
#include "ui/pictures.h"
#include "ui/preview_window.h"

namespace lum2::ui {

namespace {

// 50 twips at 96 dpi, the amount "New" grows by on every side.
constexpr int kPulseGrowth = 3;

QString NamePart(const std::string& path) { return Shown(FileNamePart(RightTrim(path))); }

// Ticks the option at position (from 1), padding an older record's shorter list.
void SetOption(TaskRecord& record, int position) {
    if (record.options.size() < static_cast<std::size_t>(position)) record.options.resize(position, '0');
    record.options[position - 1] = '1';
}

}  // namespace

void MainWindow::AppendRow(const TaskRecord& task) {
    auto* item = new QTreeWidgetItem(lvw_tasks);
    item->setIcon(0, DirectionIcon(task.direction));
    item->setData(0, Qt::UserRole, static_cast<int>(task.direction));
    item->setTextAlignment(0, Qt::AlignCenter);
    item->setText(1, NamePart(task.pcfile));
    item->setText(2, NamePart(task.palmfile));
}

void MainWindow::FillTaskList() {
    const QSignalBlocker block(lvw_tasks);
    lvw_tasks->clear();
    try {
        for (int n = kFirstTaskRecord; n <= services_.store->RecordCount(); ++n)
            AppendRow(services_.store->GetRecord(n));
    } catch (const std::exception& error) {
        ReportStoreError(error);
    }
    if (lvw_tasks->topLevelItemCount() > 0) lvw_tasks->setCurrentItem(lvw_tasks->topLevelItem(0));
}

int MainWindow::SelectedRow() const {
    QTreeWidgetItem* item = lvw_tasks->currentItem();
    if (item == nullptr || !item->isSelected()) return 0;
    return lvw_tasks->indexOfTopLevelItem(item) + 1;
}

int MainWindow::FirstVisibleRow() const { return lvw_tasks->verticalScrollBar()->value() + 1; }

int MainWindow::RowsPerPage() const {
    const int rowHeight = lvw_tasks->topLevelItemCount() > 0
                              ? lvw_tasks->visualItemRect(lvw_tasks->topLevelItem(0)).height()
                              : lvw_tasks->fontMetrics().height() + 4;
    if (rowHeight <= 0) return 1;
    return std::max(1, lvw_tasks->viewport()->height() / rowHeight);
}

bool MainWindow::SelectedTaskVisible() const {
    const int s = SelectedRow();
    if (lvw_tasks->topLevelItemCount() == 0 || s == 0) return false;
    const int f = FirstVisibleRow();
    return s >= f && s - f < RowsPerPage();
}

void MainWindow::ScrollListTo(int row) {
    if (lvw_tasks->topLevelItemCount() == 0) return;
    lvw_tasks->verticalScrollBar()->setValue(row - 1);
}

void MainWindow::UpdateScrollBar() {
    const int n = lvw_tasks->topLevelItemCount();
    if (n == 0) return;
    const int k = RowsPerPage();
    scrollBarSized_ = true;
    const QSignalBlocker block(VScroll1);
    VScroll1->setMinimum(1);
    VScroll1->setMaximum(k <= n ? n - k + 1 : 1);
    VScroll1->setPageStep(std::max(1, k - 1));
    VScroll1->setValue(FirstVisibleRow());
    VScroll1->setEnabled(!RunActive() && !clipboardSettingsMode_);
}

void MainWindow::RefreshTaskView(int flags) {
    if (flags & kRefreshEditor) {
        QColor colour;
        if (lvw_tasks->topLevelItemCount() > 0) {
            Timer1->stop();
            if (pulseGrown_) Timer1_Timer();
            cmd_convert->setEnabled(true);
            colour = QColor(0, 255, 0);
        } else {
            Timer1->start();
            cmd_convert->setEnabled(clipboardSettingsMode_);
            colour = QColor(128, 255, 128);
        }
        shp_con->SetColor(colour);

        // Filling the name fields must not rename anything: auto naming is
        // greyed (and so off) while the editor loads.
        const Qt::CheckState naming = chk_autonaming->checkState();
        const bool wasTristate = chk_autonaming->isTristate();
        chk_autonaming->setCheckState(Qt::PartiallyChecked);
        if (SelectedTaskVisible()) {
            LayoutConnector();
            LoadTaskIntoEditor(RecordOfRow(SelectedRow()));
        } else {
            LayoutConnector();
            ClearEditor();
        }
        chk_autonaming->setCheckState(naming);
        chk_autonaming->setTristate(wasTristate);
    }
    if (flags & kRefreshScrollBar) UpdateScrollBar();
}

void MainWindow::LayoutConnector() {
    const int target = img_action->mapTo(this, img_action->rect().center()).y() - shp_con->y();
    if (lvw_tasks->topLevelItemCount() > 0 && SelectedTaskVisible()) {
        const QRect row = lvw_tasks->visualItemRect(lvw_tasks->topLevelItem(SelectedRow() - 1));
        const int top = lvw_tasks->viewport()->mapTo(this, row.topLeft()).y() - shp_con->y();
        shp_con->LinkRow(top, row.height(), target);
    } else {
        shp_con->Rest(target);
    }
}

void MainWindow::lvw_tasks_CurrentChanged() {
    if (RunActive()) return;  // the run shows each task itself
    RefreshTaskView(kRefreshEditor);
}

void MainWindow::lvw_tasks_ItemClicked(QTreeWidgetItem* item, int column) {
    if (item == nullptr || RunActive()) return;
    // The middle column ("Sync", the direction picture) switches the direction;
    // the file columns only select.
    if (column == 0) SwitchDirection();
    RefreshTaskView(kRefreshEditor);
}

void MainWindow::lvw_tasks_DoubleClicked(QTreeWidgetItem* item, int column) {
    if (item == nullptr || RunActive()) return;
    if (column == 1) cmd_browsepcfile_Click();
    if (column == 2) cmd_browsepalmfile_Click();
}

void MainWindow::VScroll1_Change(int value) {
    ScrollListTo(value);
    RefreshTaskView(kRefreshEditor);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lvw_tasks->viewport() && event->type() == QEvent::Resize) {
        SizeColumns();
        if (lvw_tasks->topLevelItemCount() > 0) UpdateScrollBar();
        LayoutConnector();
    }
    if (watched == lvw_tasks->viewport() &&
        (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove || event->type() == QEvent::Drop)) {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!DropAllowed(drop->mimeData())) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        if (event->type() == QEvent::Drop) AddDroppedFiles(drop->mimeData()->urls());
        return true;
    }
    if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
        (watched == img_action || watched == shp_con || watched == img_action->parentWidget())) {
        LayoutConnector();
    }
    if (watched == lvw_tasks && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const int s = SelectedRow();
        const int f = FirstVisibleRow();
        const int k = RowsPerPage();
        if (key->key() == Qt::Key_Down && s != 0 && s + 1 == f + k && s < lvw_tasks->topLevelItemCount()) {
            VScroll1->setValue(VScroll1->value() + 1);
        } else if (key->key() == Qt::Key_Up && s != 0 && s == f && s > 1) {
            VScroll1->setValue(VScroll1->value() - 1);
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool MainWindow::DropAllowed(const QMimeData* data) const {
    if (data == nullptr || RunActive() || clipboardSettingsMode_) return false;
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

int MainWindow::PalmFileTarget(const QString& path) const {
    // A file in a user's backup folder belongs to that user; any other to "Custom".
    const QString folder = QFileInfo(path).absoluteDir().canonicalPath();
    const int custom = lst_install->count() - 1;
    for (int user = 0; user < custom; ++user) {
        try {
            if (!folder.isEmpty() &&
                QDir(QString::fromStdString(services_.targets->UserBackupFolder(user))).canonicalPath() == folder) {
                return user;
            }
        } catch (const std::exception&) {}
    }
    return custom;
}

void MainWindow::AddDroppedFiles(const QList<QUrl>& urls) {
    if (RunActive() || clipboardSettingsMode_) return;
    for (const QUrl& url : urls) {
        const QString path = url.toLocalFile();
        if (!url.isLocalFile() || QFileInfo(path).isDir()) continue;
        if (!FitsField(path.toStdString(), kPathFieldWidth)) {
            RefusePath("dropped file's");
            continue;
        }
        const int rows = lvw_tasks->topLevelItemCount();
        cmd_new_Click();
        if (lvw_tasks->topLevelItemCount() == rows || SelectedRow() == 0) return;  // the store refused

        const QString suffix = QFileInfo(path).suffix().toLower();
        const bool palm = suffix == "pdb" || suffix == "prc";
        const int direction = palm ? kDirectionPalmToPc : kDirectionPcToPalm;
        QTreeWidgetItem* item = lvw_tasks->topLevelItem(SelectedRow() - 1);
        item->setData(0, Qt::UserRole, direction);
        item->setIcon(0, DirectionIcon(direction));
        // A web page is wanted as its text, whatever the defaults say.
        const bool page = suffix == "htm" || suffix == "html";
        EditRecord(
            [&](TaskRecord& record) {
                record.direction = static_cast<int16_t>(direction);
                if (page) SetOption(record, kOptionStripHtml);
            },
            false);
        RefreshTaskView(kRefreshEditor);

        // The name goes in as if typed, so that auto naming names the other file.
        QLineEdit* box = palm ? txt_palmfile : txt_pcfile;
        QString text = path;
        typedLast_ = palm ? TypedLast::kPalmFile : TypedLast::kPcFile;
        if (palm) {
            const int target = PalmFileTarget(path);
            installCheckActive_ = true;
            for (int k = 0; k < lst_install->count(); ++k) {
                lst_install->item(k)->setCheckState(k == target ? Qt::Checked : Qt::Unchecked);
            }
            installCheckActive_ = false;
            StoreInstallSelection();
            if (!CustomChecked()) text = QFileInfo(path).fileName();
        }
        if (box->text() == text) {
            palm ? txt_palmfile_Change() : txt_pcfile_Change();
        } else {
            box->setText(text);
        }
    }
}

void MainWindow::Timer1_Timer() {
    // Grown: bold and two points larger than the button's own font.
    QRect geometry = cmd_new->geometry();
    if (!pulseGrown_) {
        geometry.adjust(-kPulseGrowth, -kPulseGrowth, kPulseGrowth, kPulseGrowth);
        cmd_new->setGeometry(geometry);
        QFont font = normalNewFont_;
        font.setBold(true);
        font.setPointSizeF(normalNewFont_.pointSizeF() + 2);
        cmd_new->setFont(font);
    } else {
        cmd_new->setFont(normalNewFont_);
        geometry.adjust(kPulseGrowth, kPulseGrowth, -kPulseGrowth, -kPulseGrowth);
        cmd_new->setGeometry(geometry);
    }
    pulseGrown_ = !pulseGrown_;
}

void MainWindow::lvw_tasks_ContextMenu(const QPoint& at) {
    QMenu menu(this);
    QAction* preview = menu.addAction("Preview", this, &MainWindow::PreviewSelectedTask);
    preview->setObjectName("mnu_preview");
    preview->setEnabled(SelectedTaskVisible() && !clipboardSettingsMode_ && FileProbe(EditedPalmPath()) == 1);
    menu.exec(lvw_tasks->viewport()->mapToGlobal(at));
}

void MainWindow::PreviewSelectedTask() {
    const std::string path = EditedPalmPath();
    if (path.empty() || services_.codec == nullptr) return;
    const PreviewContent content = LoadPreview(path, *services_.codec);
    auto* window = new PreviewWindow(Shown(FileNamePart(path)) + " - Preview", content, this);
    window->show();
}

}  // namespace lum2::ui
