// The tray icon: the program's place in the notification area and its status
// display (normal and busy in turns while converting, then success or
// errors), with the menu mPopupSys.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "base/progress_sink.h"

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace lum2::shell {

class TrayIcon : public QObject {
    Q_OBJECT

public:
    struct Actions {
        std::function<void()> convertList;
        std::function<void()> convertClipboard;
        std::function<void()> hideWindow;
        std::function<void()> restoreWindow;
        std::function<void()> exit;
        // True while a conversion prompt is open: clicks on the icon are ignored.
        std::function<bool()> promptOpen;
    };

    explicit TrayIcon(Actions actions, QObject* parent = nullptr);
    ~TrayIcon() override;

    // Shows the icon with the normal picture and the tip "LUM2"; false when
    // the desktop has no notification area.
    bool AddTrayIcon();
    void SetTrayIcon(TrayPicture picture, const QString& tip);
    // The normal picture and tip "LUM2" again, after a click on the icon.
    void ResetTrayIcon();
    void RemoveTrayIcon();

    bool Shown() const;
    TrayPicture Image() const { return image_; }
    QString Tip() const { return tip_; }
    QMenu* Menu() const { return menu_.get(); }

signals:
    void iconReset();

private:
    void OnActivated(int reason);

    Actions actions_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    TrayPicture image_ = TrayPicture::kNormal;
    QString tip_ = "LUM2";
};

}  // namespace lum2::shell
