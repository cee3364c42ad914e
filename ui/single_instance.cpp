#include "ui/single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QThread>

#include <unistd.h>

namespace qv::ui {
namespace {

constexpr char kComeForward[] = "come-forward\n";

// Short enough for a socket path; the user id keeps users on one machine apart.
QString InstanceName(const QString& profile_key) {
    const QByteArray hash = QCryptographicHash::hash(profile_key.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QStringLiteral("quorvane-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash.left(16)));
}

}  // namespace

SingleInstance::SingleInstance(const QString& profile_key, QObject* parent)
    : QObject(parent),
      name_(InstanceName(profile_key)),
      lock_(QDir::temp().filePath(name_ + QStringLiteral(".lock"))) {
    // A lock left by a crashed start is taken over at once.
    lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::TakeFirstPlace() {
    if (!lock_.tryLock(0)) return false;
    // Holding the lock, a socket left by a crashed start can only be stale.
    QLocalServer::removeServer(name_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains("come-forward")) emit comeForwardRequested();
            });
        }
    });
    server_->listen(name_);
    return true;
}

bool SingleInstance::AskFirstToComeForward() {
    // The first start may still be on its way to listening: try for a few seconds.
    QDeadlineTimer deadline(3000);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(name_);
        if (socket.waitForConnected(500)) {
            socket.write(kComeForward);
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return sent;
        }
        QThread::msleep(100);
    }
    return false;
}

}  // namespace qv::ui
