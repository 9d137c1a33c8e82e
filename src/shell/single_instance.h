// The running copy's side of one LUM2 per user: a local socket (user-only, in
// the private folder of the instance lock) that takes the requests of later
// copies started on the same task list: "-s", "-c", or none ('-').
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <memory>
#include <string>

namespace lum2::shell {

class SingleInstance : public QObject {
    Q_OBJECT

public:
    // socketPath: in the folder of the lock this copy holds. baseDirectory:
    // this copy's, canonical; requests from copies on another list are refused.
    SingleInstance(const std::string& socketPath, const std::string& baseDirectory, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Whoever holds the lock owns the socket's name: one left by a copy that
    // ended without closing it is removed. False, with *error, when later
    // copies cannot reach this one.
    bool Listen(QString* error);

signals:
    // A request taken: 's', 'c', or '-' for a start without a switch.
    void requestReceived(char switchCharacter);

private:
    void OnConnection();

    QString socketPath_;
    std::string baseDirectory_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace lum2::shell
