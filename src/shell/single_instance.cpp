#include "shell/single_instance.h"

#include <QLocalSocket>
#include <QTimer>

#include <memory>

#include "shell/instance_lock.h"

namespace lum2::shell {

SingleInstance::SingleInstance(const std::string& socketPath, const std::string& baseDirectory, QObject* parent)
    : QObject(parent), socketPath_(QString::fromStdString(socketPath)), baseDirectory_(baseDirectory) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
}

bool SingleInstance::Listen(QString* error) {
    QLocalServer::removeServer(socketPath_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(socketPath_)) {
        *error = socketPath_ + ": " + server_->errorString();
        server_.reset();
        return false;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
    return true;
}

void SingleInstance::OnConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A peer that says nothing, or too much, is dropped unanswered; the
        // window must not wait on it.
        QTimer::singleShot(kHandOverTimeoutMs, socket, [socket] { socket->abort(), socket->deleteLater(); });
        auto received = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, received] {
            QByteArray& bytes = *received;
            bytes += socket->read(static_cast<qint64>(kHandOverLimit) - bytes.size() + 1);
            if (!bytes.contains('\0') && bytes.size() <= static_cast<qsizetype>(kHandOverLimit)) return;
            char request = 0;
            std::string base;
            if (!ParseHandOverRequest(std::string_view(bytes.constData(), bytes.size()), &request, &base)) {
                socket->abort(), socket->deleteLater();
                return;
            }
            const bool taken = base == baseDirectory_;
            const std::string answer = HandOverAnswer(taken, baseDirectory_);
            socket->write(answer.data(), static_cast<qint64>(answer.size()));
            socket->disconnectFromServer();
            if (taken) emit requestReceived(request);
        });
    }
}

}  // namespace lum2::shell
