// One LUM2 per user: a lock file marks the running copy, and a local socket
// (user-only) takes the "-s" and "-c" requests of later copies.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace lum2::shell {

class SingleInstance : public QObject {
    Q_OBJECT

public:
    // name: the per-user instance name; the files live in $XDG_RUNTIME_DIR,
    // else the temp folder.
    explicit SingleInstance(const QString& name = DefaultName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // Becomes the running copy. False when another copy runs; a lock or socket
    // left behind by a crashed copy is taken over.
    bool Acquire();
    // Hands a switch character to the running copy; false when none answers.
    bool SendToRunningCopy(char switchCharacter, int timeoutMs = 2000);

    static QString DefaultName();
    QString LockPath() const;
    QString ServerName() const;

signals:
    void requestReceived(char switchCharacter);

private:
    void OnConnection();

    QString name_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace lum2::shell
