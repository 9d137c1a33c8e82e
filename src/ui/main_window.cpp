// frmMain: building the window part by part, start-up of the window, the run
// button and the tray status.
#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "base/printable_text.h"
#include "tasks/store_layout.h"
#include "ui/clickable_label.h"
#include "ui/connector_widget.h"
#include "ui/gui_host.h"
#include "ui/pictures.h"

namespace lum2::ui {

namespace {

// The entries of the options list, in the order of the options text; the
// later ones say what they do, since no earlier version had them.
struct OptionEntry {
    const char* name;
    const char* tip;
};
const OptionEntry kOptionEntries[] = {
    {"Compress", nullptr},
    {"TABs to Spaces", nullptr},
    {"Strip HTML", nullptr},
    {"CR to LF", nullptr},
    {"Allow Binary", nullptr},
    {"Raw", nullptr},
    {"UTF-8 Text", nullptr},
    {"Bookmarks", "bookmarks from <* name *> marks, from end tags such as <CHAPTER>, or from chapter headings"},
    {"Join Lines", "join the lines of paragraphs wrapped at a fixed width (most e-texts), so the handheld "
                   "wraps them to its screen"},
};

QLabel* Caption(const char* name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QPushButton* Button(const char* name, const QString& text, const QString& tip, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setToolTip(tip);
    button->setAutoDefault(false);
    return button;
}

QLineEdit* LineEdit(const char* name, const QString& tip, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setToolTip(tip);
    return edit;
}

QPlainTextEdit* InfoBox(const char* name, QWidget* parent) {
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    // A stop of the Tab order, so that the file's facts can be copied without a mouse.
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->setTabChangesFocus(true);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    const int lineHeight = box->fontMetrics().lineSpacing();
    box->setFixedHeight(2 * lineHeight + 2 * box->frameWidth() + 8);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    box->setPalette(palette);
    return box;
}

QListWidget* CheckList(const char* name, const QString& tip, QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    list->setToolTip(tip);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setFocusPolicy(Qt::StrongFocus);
    return list;
}

}  // namespace

MainWindow::MainWindow(const Services& services, QWidget* parent)
    : QWidget(parent), services_(services), host_(std::make_unique<GuiHost>(*this)) {
    setObjectName("frmMain");
    setWindowIcon(ApplicationIcon());

    // The task list on the left, the editor on the right and the connector
    // between them; the buttons below, the status line at the bottom.
    QLayout* taskList = BuildTaskList();
    shp_con = new ConnectorWidget(this);
    QWidget* editor = BuildEditor();
    auto* top = new QHBoxLayout;
    top->setSpacing(0);
    top->addLayout(taskList, 5);
    top->addWidget(shp_con);
    top->addWidget(editor, 6);
    // The connector ends at the direction picture: it follows wherever the
    // editor's layout puts it, also when that happens only as a window that
    // started hidden first shows.
    for (QWidget* end : std::initializer_list<QWidget*>{editor, img_action, shp_con}) end->installEventFilter(this);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(10, 10, 10, 8);
    root->addLayout(top, 1);
    root->addLayout(BuildButtons());
    root->addLayout(BuildStatusArea());
    resize(860, 440);

    OrderTabStops();
    ConnectHandlers();
    BindShortcuts();
}

MainWindow::~MainWindow() = default;

QLayout* MainWindow::BuildTaskList() {
    lvw_tasks = new QTreeWidget(this);
    lvw_tasks->setObjectName("lvw_tasks");
    lvw_tasks->setToolTip("list of conversion tasks");
    lvw_tasks->setColumnCount(3);
    lvw_tasks->setHeaderLabels({"Sync", "PC File", "Palm File"});
    lvw_tasks->setRootIsDecorated(false);
    lvw_tasks->setUniformRowHeights(true);
    lvw_tasks->setItemsExpandable(false);
    lvw_tasks->setAllColumnsShowFocus(true);
    lvw_tasks->setAlternatingRowColors(true);
    lvw_tasks->setSelectionMode(QAbstractItemView::SingleSelection);
    lvw_tasks->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvw_tasks->setContextMenuPolicy(Qt::CustomContextMenu);
    lvw_tasks->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lvw_tasks->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lvw_tasks->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    lvw_tasks->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvw_tasks->setIconSize(QSize(16, 16));
    lvw_tasks->header()->setSectionsMovable(false);
    lvw_tasks->header()->setSectionResizeMode(QHeaderView::Fixed);
    lvw_tasks->header()->setStretchLastSection(false);
    lvw_tasks->setMinimumWidth(300);
    lvw_tasks->installEventFilter(this);
    lvw_tasks->viewport()->installEventFilter(this);
    lvw_tasks->viewport()->setAcceptDrops(true);

    VScroll1 = new QScrollBar(Qt::Vertical, this);
    VScroll1->setObjectName("VScroll1");
    VScroll1->setRange(1, 1);
    VScroll1->setFocusPolicy(Qt::StrongFocus);

    // "New" pulses on Timer1's beat while the list is empty; its holder
    // keeps the room so the layout around it stays still.
    newButtonHolder_ = new QWidget(this);
    cmd_new = Button("cmd_new", "&New", "add new task", newButtonHolder_);
    normalNewFont_ = cmd_new->font();
    cmd_delete = Button("cmd_delete", "&Delete", "delete task", this);
    cmd_savedefault = Button("cmd_savedefault", "&Save Default", "save settings of this task as default", this);
    const QSize newSize = cmd_new->sizeHint().expandedTo(QSize(72, 0));
    newButtonHolder_->setFixedSize(newSize + QSize(8, 8));
    cmd_new->setGeometry(4, 4, newSize.width(), newSize.height());
    cmd_delete->setFixedHeight(newSize.height());
    cmd_savedefault->setFixedHeight(newSize.height());
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(500);

    auto* listArea = new QHBoxLayout;
    listArea->setSpacing(0);
    listArea->addWidget(lvw_tasks, 1);
    listArea->addWidget(VScroll1);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(newButtonHolder_);
    listButtons->addWidget(cmd_delete);
    listButtons->addWidget(cmd_savedefault);
    listButtons->addStretch(1);
    auto* taskList = new QVBoxLayout;
    taskList->addLayout(listArea, 1);
    taskList->addLayout(listButtons);
    return taskList;
}

QWidget* MainWindow::BuildEditor() {
    // The editor reads top to bottom as the conversion goes: PC file, the
    // direction between the two, Palm file.
    auto* editor = new QGridLayout;
    editor->setHorizontalSpacing(8);
    editor->setVerticalSpacing(4);
    txt_pcfile = LineEdit("txt_pcfile", "PC File name", this);
    cmd_browsepcfile = Button("cmd_browsepcfile", "&Browse", "browse PC File", this);
    txt_pcfiledata = InfoBox("txt_pcfiledata", this);
    AddFileRows(editor, 0, "&PC File", txt_pcfile, cmd_browsepcfile, txt_pcfiledata);
    editor->addLayout(BuildDirectionAndLists(), 3, 0, 1, 3);
    txt_palmfile = LineEdit("txt_palmfile", "Palm File name", this);
    cmd_browsepalmfile = Button("cmd_browsepalmfile", "B&rowse", "browse Palm File", this);
    txt_palmfiledata = InfoBox("txt_palmfiledata", this);
    AddFileRows(editor, 4, "Pa&lm File", txt_palmfile, cmd_browsepalmfile, txt_palmfiledata);
    AddNumbersAndSwitches(editor, 7);
    editor->setRowStretch(9, 1);
    editor->setColumnStretch(0, 1);

    auto* editorFrame = new QFrame(this);
    editorFrame->setObjectName("editor");
    editorFrame->setFrameShape(QFrame::StyledPanel);
    editorFrame->setLayout(editor);
    editorFrame->setMinimumWidth(420);
    return editorFrame;
}

void MainWindow::AddFileRows(QGridLayout* editor, int row, const QString& caption, QLineEdit* box, QPushButton* browse,
                             QPlainTextEdit* info) {
    auto* label = new QLabel(caption, this);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    label->setBuddy(box);
    editor->addWidget(label, row, 0, 1, 3);
    editor->addWidget(box, row + 1, 0, 1, 2);
    editor->addWidget(browse, row + 1, 2);
    editor->addWidget(info, row + 2, 0, 1, 3);
}

QLayout* MainWindow::BuildDirectionAndLists() {
    img_action = new ClickableLabel(this);
    img_action->setObjectName("img_action");
    img_action->setToolTip("direction of conversion");
    img_action->setFixedSize(56, 56);
    img_action->setAlignment(Qt::AlignCenter);
    img_action->setCursor(Qt::PointingHandCursor);
    img_action->setPixmap(DirectionPicture(kPictureNoneSelected, 48));

    lbl_options = Caption("lbl_options", "&Options", this);
    lst_options = CheckList("lst_options", "conversion options", this);
    for (const auto& [name, tip] : kOptionEntries) {
        auto* item = new QListWidgetItem(name, lst_options);
        if (tip != nullptr) item->setToolTip(tip);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    lbl_install = Caption("lbl_install", "&Install", this);
    lst_install = CheckList("lst_install", "user or custom directory setting", this);
    lbl_options->setBuddy(lst_options);
    lbl_install->setBuddy(lst_install);
    // Both lists show every option without scrolling.
    const int listHeight =
        lst_options->sizeHintForRow(0) * static_cast<int>(std::size(kOptionEntries)) + 2 * lst_options->frameWidth() + 2;
    lst_options->setFixedHeight(listHeight);
    lst_install->setFixedHeight(listHeight);

    auto* middle = new QHBoxLayout;
    middle->addWidget(img_action, 0, Qt::AlignVCenter);
    for (const auto& [caption, list] : {std::pair{lbl_options, lst_options}, std::pair{lbl_install, lst_install}}) {
        auto* column = new QVBoxLayout;
        column->setSpacing(2);
        column->addWidget(caption);
        column->addWidget(list);
        middle->addLayout(column, 1);
    }
    return middle;
}

void MainWindow::AddNumbersAndSwitches(QGridLayout* editor, int row) {
    lbl_tabspace = Caption("lbl_tabspace", "&TAB Space", this);
    txt_tabspace = LineEdit("txt_tabspace", "TAB space (0-64) - valid if 'Convert TABs' is set", this);
    lbl_category = Caption("lbl_category", "Cate&gory", this);
    txt_category = LineEdit("txt_category", "catergory of Palm document on (0-15)", this);
    for (QLineEdit* box : {txt_tabspace, txt_category}) box->setFixedWidth(44);
    lbl_tabspace->setBuddy(txt_tabspace);
    lbl_category->setBuddy(txt_category);
    auto* numbers = new QHBoxLayout;
    numbers->addWidget(lbl_tabspace);
    numbers->addWidget(txt_tabspace);
    numbers->addSpacing(12);
    numbers->addWidget(lbl_category);
    numbers->addWidget(txt_category);
    numbers->addStretch(1);
    editor->addLayout(numbers, row, 0, 1, 3);

    chk_autonaming = new QCheckBox("&Auto Naming", this);
    chk_autonaming->setObjectName("chk_autonaming");
    chk_autonaming->setToolTip("auto name PC/Palm File");
    chk_askoverwrite = new QCheckBox("As&k Overwirte", this);
    chk_askoverwrite->setObjectName("chk_askoverwrite");
    chk_askoverwrite->setToolTip("ask overwrite if file already exists");
    // The clipboard settings show the count-up pair in their place.
    txt_countup = LineEdit("txt_countup", "next count-up number (0-999)", this);
    txt_countup->setFixedWidth(44);
    chk_countup = new QCheckBox("&Count Up", this);
    chk_countup->setObjectName("chk_countup");
    chk_countup->setToolTip("count up the Palm File name");
    txt_countup->hide();
    chk_countup->hide();
    auto* switches = new QHBoxLayout;
    switches->addWidget(chk_autonaming);
    switches->addWidget(chk_askoverwrite);
    switches->addWidget(txt_countup);
    switches->addWidget(chk_countup);
    switches->addStretch(1);
    editor->addLayout(switches, row + 1, 0, 1, 3);
}

QLayout* MainWindow::BuildButtons() {
    cmd_convert = Button("cmd_convert", "Convert", "convert tasks", this);
    cmd_clipsettings = Button("cmd_clipsettings", "Clip Setup", "clipboard settings", this);
    cmd_exit = Button("cmd_exit", "&Exit", "exit LUM2", this);
    QFont strong = cmd_convert->font();
    strong.setBold(true);
    cmd_convert->setFont(strong);
    cmd_convert->setMinimumWidth(96);

    img_help = new ClickableLabel(this);
    img_help->setObjectName("img_help");
    img_help->setToolTip("show help");
    img_help->setProperty("Tag", QStringLiteral("help/help.htm"));
    img_help->setPixmap(PromptPicture(24));
    img_help->setCursor(Qt::PointingHandCursor);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmd_convert);
    buttons->addWidget(cmd_clipsettings);
    buttons->addStretch(1);
    buttons->addWidget(img_help);
    buttons->addWidget(cmd_exit);
    return buttons;
}

QLayout* MainWindow::BuildStatusArea() {
    // The progress display takes the status line's place while a task converts.
    lbl_status = Caption("lbl_status", "Stat&us", this);
    txt_status = LineEdit("txt_status", "status of last conversion", this);
    txt_status->setReadOnly(true);
    lbl_status->setBuddy(txt_status);
    lbl_progress = Caption("lbl_progress", "Progress", this);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    lbl_progress->hide();
    ProgressBar1->hide();

    auto* status = new QHBoxLayout;
    status->addWidget(lbl_status);
    status->addWidget(txt_status, 1);
    status->addWidget(lbl_progress);
    status->addWidget(ProgressBar1, 1);
    return status;
}

QList<QWidget*> MainWindow::TabStops() const {
    return {lvw_tasks,        VScroll1,         txt_pcfile,   cmd_browsepcfile, txt_pcfiledata,
            img_action,       lst_options,      lst_install,  txt_palmfile,     cmd_browsepalmfile,
            txt_palmfiledata, txt_tabspace,     txt_category, chk_autonaming,   chk_askoverwrite,
            txt_countup,      chk_countup,      cmd_new,      cmd_delete,       cmd_savedefault,
            cmd_convert,      cmd_clipsettings, img_help,     cmd_exit,         txt_status};
}

void MainWindow::OrderTabStops() {
    const QList<QWidget*> order = TabStops();
    for (qsizetype k = 1; k < order.size(); ++k) setTabOrder(order[k - 1], order[k]);
}

void MainWindow::BindShortcuts() {
    // The keys press the buttons, so that they do exactly what a click does
    // and nothing while the button is disabled (during a run, in the
    // clipboard settings).
    auto bind = [this](QWidget* scope, const QKeySequence& keys, const std::function<void()>& act) {
        auto* shortcut = new QShortcut(keys, scope);
        shortcut->setContext(scope == this ? Qt::WindowShortcut : Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, act);
        return shortcut;
    };
    bind(this, QKeySequence::New, [this] { cmd_new->click(); });
    // Only in the list: elsewhere Delete edits text.
    bind(lvw_tasks, QKeySequence(Qt::Key_Delete), [this] { cmd_delete->click(); });
    bind(this, QKeySequence(Qt::Key_F1), [this] { emit helpRequested(); });
    for (const int enter : {Qt::Key_Return, Qt::Key_Enter}) {
        bind(this, QKeySequence(Qt::CTRL | enter), [this] { cmd_convert->click(); });
    }
    // Escape stops a run as the run button's second click does; outside a
    // run the key is left to the controls.
    stopKey_ = bind(this, QKeySequence(Qt::Key_Escape), [this] {
        if (RunActive()) cmd_convert->click();
    });
    stopKey_->setEnabled(false);
}

void MainWindow::ConnectHandlers() {
    connect(lvw_tasks, &QTreeWidget::itemClicked, this, &MainWindow::lvw_tasks_ItemClicked);
    connect(lvw_tasks, &QTreeWidget::itemDoubleClicked, this, &MainWindow::lvw_tasks_DoubleClicked);
    connect(lvw_tasks, &QTreeWidget::currentItemChanged, this, [this] { lvw_tasks_CurrentChanged(); });
    connect(lvw_tasks, &QWidget::customContextMenuRequested, this, &MainWindow::lvw_tasks_ContextMenu);
    // The list keeps its own scroll position in whole rows; VScroll1 follows it.
    connect(lvw_tasks->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        const QSignalBlocker block(VScroll1);
        VScroll1->setValue(value + 1);
        LayoutConnector();
    });
    connect(VScroll1, &QScrollBar::valueChanged, this, &MainWindow::VScroll1_Change);
    connect(Timer1, &QTimer::timeout, this, &MainWindow::Timer1_Timer);

    GuardPathBoxes();
    connect(txt_pcfile, &QLineEdit::textChanged, this, [this] { txt_pcfile_Change(); });
    connect(txt_palmfile, &QLineEdit::textChanged, this, [this] { txt_palmfile_Change(); });
    connect(txt_pcfile, &QLineEdit::textEdited, this, [this] { typedLast_ = TypedLast::kPcFile; });
    connect(txt_palmfile, &QLineEdit::textEdited, this, [this] { typedLast_ = TypedLast::kPalmFile; });
    connect(txt_tabspace, &QLineEdit::textChanged, this, [this] { txt_tabspace_Change(); });
    connect(txt_category, &QLineEdit::textChanged, this, [this] { txt_category_Change(); });
    connect(txt_countup, &QLineEdit::textChanged, this, [this] { txt_countup_Change(); });
    connect(lst_options, &QListWidget::itemChanged, this, &MainWindow::lst_options_ItemCheck);
    connect(lst_install, &QListWidget::itemChanged, this, &MainWindow::lst_install_ItemCheck);
    connect(chk_autonaming, &QCheckBox::clicked, this, [this] { chk_autonaming_Click(); });
    connect(chk_askoverwrite, &QCheckBox::clicked, this, [this] { chk_askoverwrite_Click(); });
    connect(chk_countup, &QCheckBox::clicked, this, [this] { chk_countup_Click(); });
    connect(img_action, &ClickableLabel::clicked, this, &MainWindow::img_action_Click);
    connect(cmd_browsepcfile, &QPushButton::clicked, this, [this] { cmd_browsepcfile_Click(); });
    connect(cmd_browsepalmfile, &QPushButton::clicked, this, [this] { cmd_browsepalmfile_Click(); });
    connect(cmd_new, &QPushButton::clicked, this, [this] { cmd_new_Click(); });
    connect(cmd_delete, &QPushButton::clicked, this, [this] { cmd_delete_Click(); });
    connect(cmd_savedefault, &QPushButton::clicked, this, [this] { cmd_savedefault_Click(); });
    connect(cmd_convert, &QPushButton::clicked, this, [this] { cmd_convert_Click(); });
    connect(cmd_exit, &QPushButton::clicked, this, &QWidget::close);
    connect(cmd_clipsettings, &QPushButton::clicked, this, [this] { cmd_clipsettings_Click(); });
    connect(img_help, &ClickableLabel::clicked, this, &MainWindow::helpRequested);
}

void MainWindow::StartUp(bool refresh) {
    // Install targets: the users, then "Custom" (filled by the caller).
    {
        const QSignalBlocker block(lst_install);
        lst_install->clear();
        for (int entry = 0; entry < services_.targets->Count(); ++entry) {
            auto* item = new QListWidgetItem(Shown(services_.targets->EntryText(entry)), lst_install);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
        }
        if (lst_install->count() > 0) lst_install->setCurrentRow(0);
    }
    SetupColumns();
    try {
        const TaskRecord settings = services_.store->GetRecord(kSettingsRecord);
        chk_autonaming->setCheckState(AutoNaming(settings) ? Qt::Checked : Qt::Unchecked);
        chk_askoverwrite->setCheckState(AskOverwrite(settings) ? Qt::Checked : Qt::Unchecked);
    } catch (const std::exception& error) {
        ReportStoreError(error);
    }
    FillTaskList();
    if (refresh) ShowSelection();
}

void MainWindow::ShowSelection(const QString& warning) {
    RefreshTaskView(kRefreshAll);
    // After the editor has shown the selection, which would overwrite it.
    if (!warning.isEmpty()) txt_status->setText(warning);
    ShowStoreSetAside();
}

void MainWindow::ShowStoreSetAside() {
    const QString note = Shown(services_.store->SetAsideMessage());
    if (note.isEmpty()) return;
    // A warning already shown (no tray) keeps its place in front.
    const QString shown = txt_status->text();
    txt_status->setText(shown.isEmpty() ? note : shown + " - " + note);
    // The box would show the end of a text this long; its start says what happened.
    txt_status->setCursorPosition(0);
}

void MainWindow::SetupColumns() {
    // The list reads PC File, Sync, Palm File: the Sync column (the row's
    // direction picture and mark) moves to the middle.
    lvw_tasks->header()->moveSection(lvw_tasks->header()->visualIndex(0), 1);
    lvw_tasks->setRootIsDecorated(false);
    lvw_tasks->headerItem()->setTextAlignment(0, Qt::AlignCenter);
    SizeColumns();
}

void MainWindow::SizeColumns() {
    // The file columns take 11/24 of the usable width each and Sync the rest,
    // but Sync never gets too narrow for its picture and mark.
    const int usable = lvw_tasks->viewport()->width() - 4;
    const int minimumSync = 64;
    int file = static_cast<int>(std::lround(usable * 11.0 / 24.0));
    if (usable - 2 * file < minimumSync) file = (usable - minimumSync) / 2;
    lvw_tasks->setColumnWidth(0, usable - 2 * file);
    lvw_tasks->setColumnWidth(1, file);
    lvw_tasks->setColumnWidth(2, file);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (isVisible()) RecordWindowState();
    SizeColumns();
    if (lvw_tasks->topLevelItemCount() > 0) UpdateScrollBar();
    LayoutConnector();
}

bool MainWindow::RunActive() const { return runActive_; }

void MainWindow::cmd_convert_Click() {
    if (clipboardSettingsMode_) {
        ConvertClipboard();
        return;
    }
    if (RunActive()) {
        StopRun();
        return;
    }
    RunTaskListNow();
}

void MainWindow::PressRunButton() { cmd_convert_Click(); }

bool MainWindow::RunTaskList() {
    if (RunActive() || clipboardSettingsMode_) return false;
    RunTaskListNow();
    return !lastRun_.unfinished;
}

void MainWindow::StopRun() {
    // The task at hand finishes first.
    host_->stopRequested = true;
    cmd_convert->setText("Wait");
}

void MainWindow::ShowFromTray() {
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::HideIntoTray() { showMinimized(); }

void MainWindow::SetNoOneAnswers(bool on) { host_->SetNoOneAnswers(on); }

void MainWindow::SetRunControlsEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{lvw_tasks, chk_autonaming, chk_askoverwrite, cmd_new,
                                                            cmd_clipsettings, cmd_exit, VScroll1}) {
        control->setEnabled(enabled);
    }
}

void MainWindow::RunTaskListNow() {
    SetEditorEnabled(false);
    SetRunControlsEnabled(false);
    cmd_convert->setText("Stop");
    runActive_ = true;
    stopKey_->setEnabled(true);

    ConversionContext context{*host_, *services_.targets, *services_.codec, services_.baseDirectory};
    BatchHooks hooks;
    hooks.beforeTask = [this](int position) {
        // The editor takes a task only while its row is in view: scroll first.
        const int first = FirstVisibleRow();
        const int page = std::max(1, RowsPerPage());
        if (position < first || position >= first + page) ScrollListTo(std::max(1, position - page + 1));
        lvw_tasks->setCurrentItem(lvw_tasks->topLevelItem(position - 1));
        RefreshTaskView(kRefreshEditor);
        const QSignalBlocker block(VScroll1);
        VScroll1->setValue(std::min(VScroll1->maximum(), FirstVisibleRow()));
    };
    hooks.afterTask = [this](int position, const TaskRecord& task, const std::string& mark) {
        txt_status->setText(Shown(task.status));
        if (QTreeWidgetItem* item = lvw_tasks->topLevelItem(position - 1))
            item->setText(0, QString::fromStdString(mark));
    };
    // The run's controls stay usable only through cmd_convert; the editor is locked.
    const BatchSummary summary = lum2::RunTaskList(*services_.store, context, hooks);
    lastRun_ = summary;
    if (summary.reportPending) reportPending_ = true;

    cmd_convert->setText("Convert");
    runActive_ = false;
    stopKey_->setEnabled(false);
    SetEditorEnabled(true);
    SetRunControlsEnabled(true);
    txt_palmfiledata->setPlainText(FileInfoText(txt_palmfile->text(), true));
    txt_pcfiledata->setPlainText(FileInfoText(txt_pcfile->text(), false));
    if (!summary.storeError.empty()) txt_status->setText(Shown(summary.storeError));
    emit runFinished();
    if (closePending_) close();
}

void MainWindow::SetTrayIcon(TrayPicture picture, const QString& tip) {
    reportText_ = tip;
    emit trayIconChanged(picture, tip);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (RunActive()) {
        // The run closes the window when it ends.
        closePending_ = true;
        StopRun();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
    emit closed();
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) RecordWindowState();
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    RecordWindowState();
}

void MainWindow::RecordWindowState() {
    if (commandLineMode_ || services_.store == nullptr || !services_.store->IsOpen()) return;
    // The next start begins hidden when the window was hidden last.
    const bool minimised = isMinimized();
    if (minimised && trayPresent_) QTimer::singleShot(0, this, &QWidget::hide);
    try {
        TaskRecord clipboard = services_.store->GetRecord(kClipboardRecord);
        if (WasHidden(clipboard) != minimised) {
            SetWasHidden(clipboard, minimised);
            services_.store->PutRecord(kClipboardRecord, clipboard);
        }
    } catch (const std::exception& error) {
        ReportStoreError(error);
    }
}

void MainWindow::ReportStoreError(const std::exception& error) { txt_status->setText(Shown(error.what())); }

QString Shown(const std::string& text) { return QString::fromStdString(PrintableText(text)); }

}  // namespace lum2::ui
