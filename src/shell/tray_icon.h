// The tray icon: the program's place in the notification area and its status
// display (pictures 1 and 2 while converting, 9 after success, 10 after
// errors), with the menu mPopupSys.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

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

    // Shows the icon with picture 1 and the tip "LUM2"; false when the
    // desktop has no notification area.
    bool AddTrayIcon();
    void SetTrayIcon(int image, const QString& tip);
    // Picture 1 and tip "LUM2" again, after a click on the icon.
    void ResetTrayIcon();
    void RemoveTrayIcon();

    bool Shown() const;
    int Image() const { return image_; }
    QString Tip() const { return tip_; }
    QMenu* Menu() const { return menu_.get(); }

signals:
    void iconReset();

private:
    void OnActivated(int reason);

    Actions actions_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    int image_ = 1;
    QString tip_ = "LUM2";
};

}  // namespace lum2::shell
