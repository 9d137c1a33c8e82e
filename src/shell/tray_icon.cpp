#include "shell/tray_icon.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

#include "ui/pictures.h"

namespace lum2::shell {

namespace {

QAction* AddItem(QMenu* menu, const char* name, const QString& text, const std::function<void()>& run) {
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    QObject::connect(action, &QAction::triggered, menu, [run] {
        if (run) run();
    });
    return action;
}

}  // namespace

TrayIcon::TrayIcon(Actions actions, QObject* parent) : QObject(parent), actions_(std::move(actions)) {
    menu_ = std::make_unique<QMenu>("&SysRray");
    menu_->setObjectName("mPopupSys");
    AddItem(menu_.get(), "mPopConvertList", "C&onvert List", actions_.convertList);
    AddItem(menu_.get(), "mPopConvertClipboard", "&Convert Clipboard", actions_.convertClipboard);
    menu_->addSeparator()->setObjectName("mnuSepp1");
    AddItem(menu_.get(), "mPopHideWindow", "&Hide Window", actions_.hideWindow);
    AddItem(menu_.get(), "mPopRestoreWindow", "&Restore Window", actions_.restoreWindow);
    menu_->addSeparator()->setObjectName("mnuSepp2");
    AddItem(menu_.get(), "mPopExit", "&Exit", actions_.exit);

    // Some panels show the menu themselves and never report the click: the
    // reset happens as the menu opens, and while a prompt waits for an answer
    // the menu offers nothing.
    connect(menu_.get(), &QMenu::aboutToShow, this, [this] {
        const bool blocked = actions_.promptOpen && actions_.promptOpen();
        for (QAction* action : menu_->actions()) action->setEnabled(!blocked);
        if (!blocked) ResetTrayIcon();
    });
}

TrayIcon::~TrayIcon() { RemoveTrayIcon(); }

bool TrayIcon::AddTrayIcon() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
    icon_ = std::make_unique<QSystemTrayIcon>(ui::TrayIcon(TrayPicture::kNormal));
    icon_->setObjectName("TrayIcon");
    icon_->setToolTip("LUM2");
    icon_->setContextMenu(menu_.get());
    connect(icon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { OnActivated(reason); });
    icon_->show();
    image_ = TrayPicture::kNormal;
    tip_ = "LUM2";
    return true;
}

bool TrayIcon::Shown() const { return icon_ && icon_->isVisible(); }

void TrayIcon::SetTrayIcon(TrayPicture picture, const QString& tip) {
    // A conversion sets the frame for every record; the panel only needs to
    // hear of a change.
    if (icon_ && picture == image_ && tip == tip_) return;
    image_ = picture;
    tip_ = tip;
    if (!icon_) return;  // no tray: the caller's status line carries the news
    icon_->setIcon(ui::TrayIcon(picture));
    QString shown = tip;
    icon_->setToolTip(shown.replace("\r\n", "\n"));
}

void TrayIcon::ResetTrayIcon() {
    SetTrayIcon(TrayPicture::kNormal, "LUM2");
    emit iconReset();
}

void TrayIcon::RemoveTrayIcon() {
    if (icon_) {
        icon_->hide();
        icon_.reset();
    }
}

void TrayIcon::OnActivated(int reason) {
    if (actions_.promptOpen && actions_.promptOpen()) return;
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
        ResetTrayIcon();
        if (actions_.restoreWindow) actions_.restoreWindow();
    }
}

}  // namespace lum2::shell
