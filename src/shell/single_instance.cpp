#include "shell/single_instance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

namespace lum2::shell {

namespace {

QString RuntimeFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) return runtime;
    return QDir::tempPath();
}

}  // namespace

SingleInstance::SingleInstance(const QString& name, QObject* parent) : QObject(parent), name_(name) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
    if (lock_) lock_->unlock();
}

QString SingleInstance::DefaultName() { return QString("lum2-%1").arg(geteuid()); }

QString SingleInstance::LockPath() const { return RuntimeFolder() + "/" + name_ + ".lock"; }

QString SingleInstance::ServerName() const { return RuntimeFolder() + "/" + name_ + ".socket"; }

bool SingleInstance::Acquire() {
    lock_ = std::make_unique<QLockFile>(LockPath());
    // A lock whose process is gone counts as stale at once.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        lock_.reset();
        return false;
    }
    // A socket can outlive a crashed copy; listening would fail on it. Ask
    // first: a live server behind it means another copy after all.
    {
        QLocalSocket probe;
        probe.connectToServer(ServerName());
        if (probe.waitForConnected(200)) {
            probe.abort();
            lock_->unlock();
            lock_.reset();
            return false;
        }
    }
    QLocalServer::removeServer(ServerName());
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(ServerName())) {
        server_.reset();
        return true;  // still the only copy; requests from others are lost
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
    return true;
}

void SingleInstance::OnConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            const QByteArray bytes = socket->readAll();
            for (const char c : bytes) {
                if (c == 's' || c == 'c') emit requestReceived(c);
            }
        });
    }
}

bool SingleInstance::SendToRunningCopy(char switchCharacter, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(ServerName());
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(QByteArray(1, switchCharacter));
    const bool written = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMs);
    return written;
}

}  // namespace lum2::shell
