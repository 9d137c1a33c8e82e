// frmMain, the desktop program's window: the task list on the left, the task
// editor on the right, the run button and the status line below.
//
// Every control carries its name as objectName, so tests and users' scripts
// find it. The window edits lumdata.dat field by field (no save step) and runs
// the core's batch run with itself as the conversion host. A store that fails
// says so in the status line: nothing the window does throws.
#pragma once

#include <QFont>
#include <QWidget>

#include <functional>

#include <memory>
#include <string>

#include "convert/batch_run.h"
#include "doc/compression_library.h"
#include "hotsync/install_targets.h"
#include "tasks/record_store.h"
#include "ui/prompt_dialogs.h"

class QCheckBox;
class QGridLayout;
class QLabel;
class QLayout;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMimeData;
class QPlainTextEdit;
class QPoint;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QShortcut;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QUrl;

namespace lum2::ui {

// A name, path or status from a file or the store as the window shows it,
// control characters escaped, so that it cannot break or garble the line.
// For showing only: what is stored and edited keeps its bytes.
QString Shown(const std::string& text);

class ClickableLabel;
class ConnectorWidget;
class GuiHost;

class MainWindow : public QWidget {
    Q_OBJECT

public:
    struct Services {
        std::string baseDirectory;  // ends with a separator
        RecordStore* store = nullptr;
        InstallTargets* targets = nullptr;
        const CodecFunctions* codec = nullptr;
    };

    explicit MainWindow(const Services& services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start-up steps that bring the window up: install targets, columns,
    // check boxes from the settings record, the task list; with refresh, also
    // ShowSelection(). A store that fails says so in the status line.
    void StartUp(bool refresh = true);
    // The last start-up step: the task view and the editor for the selection,
    // then in the status line the warning (unless empty) followed by the note
    // of a store set aside at start-up.
    void ShowSelection(const QString& warning = {});

    // What the shell asks of the window, for the tray menu, the command line
    // and the switches later copies hand over.
    //
    // Converts the task list. During a run, or while the clipboard settings
    // are open, the window is busy: nothing happens and it returns false.
    // Otherwise it returns whether every task ended well (see LastRunSummary).
    bool RunTaskList();
    // Converts the clipboard text into a Palm file with the clipboard record's
    // settings; during a run of the list nothing happens. Returns true only
    // when the text was converted.
    bool ConvertClipboard();
    // What the run button does, whatever it reads (Convert, Stop, Convert
    // Clip): the tray menu's Convert List is its twin.
    void PressRunButton();
    // Opens a preview of the selected task's Palm file ("Preview" in the
    // list's context menu); nothing happens when there is no such file.
    void PreviewSelectedTask();
    // Brings the window back from the tray or the task bar, in front.
    void ShowFromTray();
    // Minimises the window, which hides it into the tray when there is one.
    void HideIntoTray();
    // True while a conversion prompt waits for an answer.
    bool PromptOpen() const { return prompts_.open; }
    // For a command-line run that no one sees: every prompt is answered Skip.
    void SetNoOneAnswers(bool on);
    // Command-line starts do not record the window state; with a tray icon,
    // minimising hides the window into it.
    void SetCommandLineMode(bool on) { commandLineMode_ = on; }
    void SetTrayPresent(bool present) { trayPresent_ = present; }
    // The tray tip the last run or conversion left, and whether it reports
    // errors no one has seen yet (a command-line start shows them).
    const QString& ReportText() const { return reportText_; }
    bool ReportPending() const { return reportPending_; }
    // The outcome of the last run of the list.
    const BatchSummary& LastRunSummary() const { return lastRun_; }

    // The task list. RefreshTaskView brings the parts named in its flags up
    // to date with the list and the selection.
    static constexpr int kRefreshScrollBar = 1;
    static constexpr int kRefreshEditor = 2;  // the editor, the connector, the run button
    static constexpr int kRefreshAll = kRefreshScrollBar | kRefreshEditor;
    void RefreshTaskView(int flags);
    // Rows count from 1. SelectedRow returns 0 when no row is selected.
    int SelectedRow() const;
    int FirstVisibleRow() const;
    int RowsPerPage() const;
    // True when a row is selected and in view: only then does the editor show it.
    bool SelectedTaskVisible() const;
    bool RunActive() const;
    // Switches the editor between the tasks and the clipboard record.
    void SetClipboardSettingsMode(bool on);
    bool ClipboardSettingsMode() const { return clipboardSettingsMode_; }
    // Every control that takes focus, in the order Tab visits them: the task
    // list, the editor top to bottom and left to right, the buttons, the
    // status line. Hidden and disabled ones included; Tab skips them.
    QList<QWidget*> TabStops() const;

signals:
    // The tray picture or tip changed (the shell shows it in the tray).
    void trayIconChanged(lum2::TrayPicture picture, const QString& tip);
    // A batch run ended.
    void runFinished();
    // The help sign was clicked.
    void helpRequested();
    // The window accepted closing: the program ends, also while the window is
    // hidden in the tray, where closing it leaves no visible window to end with.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class GuiHost;

    // The run button: Convert, Stop (during a run) or Convert Clip.
    void cmd_convert_Click();
    void StopRun();
    // Sets the tray picture and tip: the status display of the program.
    void SetTrayIcon(TrayPicture picture, const QString& tip);
    // Says once, in the status line, that the store had to be set aside at
    // start-up and where it is kept.
    void ShowStoreSetAside();

    // Each part of the window builds its controls and returns them laid out.
    QLayout* BuildTaskList();  // the list, its scroll bar, New, Delete, Save Default
    QWidget* BuildEditor();
    // A file's rows from row on: its bold caption, the name box with its
    // Browse button, and the box that tells about the file.
    void AddFileRows(QGridLayout* editor, int row, const QString& caption, QLineEdit* box, QPushButton* browse,
                     QPlainTextEdit* info);
    QLayout* BuildDirectionAndLists();  // the direction picture, the options, the install targets
    void AddNumbersAndSwitches(QGridLayout* editor, int row);
    QLayout* BuildButtons();  // Convert, Clip Setup, the help sign, Exit
    QLayout* BuildStatusArea();
    void OrderTabStops();
    // Ctrl+N, Delete in the list, F1, Ctrl+Return and, during a run, Escape.
    void BindShortcuts();
    void ConnectHandlers();
    void SetupColumns();
    void SizeColumns();

    // Task list.
    void FillTaskList();
    void ScrollListTo(int row);
    void UpdateScrollBar();
    // Task list handlers.
    void lvw_tasks_ItemClicked(QTreeWidgetItem* item, int column);
    void lvw_tasks_DoubleClicked(QTreeWidgetItem* item, int column);
    void lvw_tasks_CurrentChanged();
    // The list's context menu: "Preview" for the selected task's Palm file.
    void lvw_tasks_ContextMenu(const QPoint& at);
    // The Palm file the editor's task writes: the name itself with Custom
    // ticked, else in the first ticked user's backup folder; empty for none.
    std::string EditedPalmPath() const;
    void VScroll1_Change(int value);
    void Timer1_Timer();
    void LayoutConnector();
    void AppendRow(const TaskRecord& task);
    // Files dropped on the list: one new task each, as "New" makes it. The
    // list takes local files only, and none during a run or in the clipboard
    // settings. A Palm file goes to the install entry of the user whose backup
    // folder holds it, else to "Custom".
    bool DropAllowed(const QMimeData* data) const;
    void AddDroppedFiles(const QList<QUrl>& urls);
    int PalmFileTarget(const QString& path) const;

    // Task editor.
    void LoadTaskIntoEditor(int recordNumber);
    void ClearEditor();
    void SetEditorEnabled(bool enabled);
    // What the box below a name box says of the file: its time and size, "New
    // File", "Distribute Mode" (several users), or why the name is no good.
    QString FileInfoText(const QString& path, bool palmSide) const;
    // Editor handlers.
    void txt_pcfile_Change();
    void txt_palmfile_Change();
    void txt_tabspace_Change();
    void txt_category_Change();
    void txt_countup_Change();
    void lst_options_ItemCheck(QListWidgetItem* item);
    void chk_autonaming_Click();
    void chk_askoverwrite_Click();
    void chk_countup_Click();
    void img_action_Click();
    void cmd_browsepcfile_Click();
    void cmd_browsepalmfile_Click();
    void cmd_new_Click();
    void cmd_delete_Click();
    void cmd_savedefault_Click();
    void SwitchDirection();
    // True when "Auto Naming" is ticked and no folder change holds it back.
    bool AutoNamingOn() const;
    // The path boxes take no more than a record's path field holds; a longer
    // path is refused with a message and the box keeps its text (SetPathBox
    // then returns false).
    void GuardPathBoxes();
    void RefusePath(const char* which);
    bool SetPathBox(QLineEdit* box, const QString& text);
    // Reads the record the editor edits, lets change alter it, writes it back.
    // Returns false (and writes nothing) when no record is being edited.
    bool EditRecord(const std::function<void(TaskRecord&)>& change, bool clipboardAllowed = true);
    // The record the editor shows; 0 for none.
    int EditedRecordNumber(bool clipboardAllowed) const;
    // The file dialog; returns the chosen path, or "" when cancelled. A path
    // chosen also sets filterIndex (from 1) to the filter the dialog was on.
    QString ChooseFile(const QString& title, const QString& filters, int& filterIndex, const QString& folder,
                       const QString& name);

    // Clipboard: the settings button, and the controls a conversion locks.
    void cmd_clipsettings_Click();
    void SetClipboardControls(bool enabled);

    // Install target list.
    void lst_install_ItemCheck(QListWidgetItem* item);
    void CollapseInstallToFirst();
    void StoreInstallSelection();
    int CheckedInstallCount() const;
    bool CustomChecked() const;
    // The settings' Palm folder, else the home folder with a separator.
    QString DefaultCustomDirectory() const;

    // Batch run.
    void RunTaskListNow();
    void SetRunControlsEnabled(bool enabled);

    void ReportStoreError(const std::exception& error);
    void RecordWindowState();

    Services services_;
    std::unique_ptr<GuiHost> host_;
    PromptState prompts_;

    // Editor state.
    bool clipboardSettingsMode_ = false;
    bool installLoading_ = false;
    bool installCheckActive_ = false;
    bool loadingEditor_ = false;     // handlers show but do not store while a record loads
    bool namingSuppressed_ = false;  // a change of target folder renames nothing
    // The name box typed into last: in a sync task it leads automatic naming.
    enum class TypedLast { kNeither, kPcFile, kPalmFile };
    TypedLast typedLast_ = TypedLast::kNeither;
    int rememberedRow_ = 0;
    TaskRecord current_;

    // Task list state.
    bool pulseGrown_ = false;
    QFont normalNewFont_;
    bool scrollBarSized_ = false;
    bool closePending_ = false;
    bool runActive_ = false;
    bool reportPending_ = false;
    bool commandLineMode_ = false;
    bool trayPresent_ = false;
    QString savedConvertCaption_, savedConvertTip_, savedClipCaption_, savedClipTip_;
    QString reportText_;
    BatchSummary lastRun_;
    QShortcut* stopKey_ = nullptr;  // Escape, live only during a run

public:
    // Controls, named as the user and the tests know them.
    QTreeWidget* lvw_tasks = nullptr;
    QScrollBar* VScroll1 = nullptr;
    ConnectorWidget* shp_con = nullptr;
    QLineEdit* txt_pcfile = nullptr;
    QPushButton* cmd_browsepcfile = nullptr;
    QPlainTextEdit* txt_pcfiledata = nullptr;
    QLineEdit* txt_palmfile = nullptr;
    QPushButton* cmd_browsepalmfile = nullptr;
    QPlainTextEdit* txt_palmfiledata = nullptr;
    ClickableLabel* img_action = nullptr;
    QLabel* lbl_options = nullptr;
    QListWidget* lst_options = nullptr;
    QLabel* lbl_tabspace = nullptr;
    QLineEdit* txt_tabspace = nullptr;
    QLabel* lbl_category = nullptr;
    QLineEdit* txt_category = nullptr;
    QLabel* lbl_install = nullptr;
    QListWidget* lst_install = nullptr;
    QLabel* lbl_status = nullptr;
    QLineEdit* txt_status = nullptr;
    QLabel* lbl_progress = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QCheckBox* chk_autonaming = nullptr;
    QCheckBox* chk_askoverwrite = nullptr;
    QLineEdit* txt_countup = nullptr;
    QCheckBox* chk_countup = nullptr;
    QPushButton* cmd_new = nullptr;
    QWidget* newButtonHolder_ = nullptr;
    QPushButton* cmd_delete = nullptr;
    QPushButton* cmd_savedefault = nullptr;
    QPushButton* cmd_convert = nullptr;
    QPushButton* cmd_clipsettings = nullptr;
    QPushButton* cmd_exit = nullptr;
    ClickableLabel* img_help = nullptr;
    QTimer* Timer1 = nullptr;
};

}  // namespace lum2::ui
