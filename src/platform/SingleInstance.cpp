// One running copy per user.
#include "platform/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <pwd.h>
#include <unistd.h>

namespace {

const char* const LockName = "Quillbar";
const char* const MessageName = "QuillbarNewInstance";
// A later copy may start while the first is between taking the lock and listening.
constexpr int ConnectPatienceMs = 3000;

QString UserName() {
    const passwd* entry = getpwuid(getuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(getuid());
}

} // namespace

TSingleInstance::TSingleInstance() {
    connect(&FServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = FServer.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->readAll().isEmpty())
                    emit NewInstance();
            });
        }
    });
}

TSingleInstance::~TSingleInstance() {
    FServer.close();
}

QString TSingleInstance::ServerName() {
    return QString::fromLatin1(MessageName) + "-" + UserName();
}

QString TSingleInstance::LockFileName() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + "/" + LockName;
}

bool TSingleInstance::Acquire() {
    FLock = std::make_unique<QLockFile>(LockFileName());
    // Never stale by age: only a lock whose process is gone may be taken over.
    FLock->setStaleLockTime(0);
    if (FLock->tryLock(0))
        return true;
    FLock.reset();
    return false;
}

void TSingleInstance::Listen() {
    // A socket left by a crashed copy would block listening; we hold the lock, so it is stale.
    QLocalServer::removeServer(ServerName());
    FServer.setSocketOptions(QLocalServer::UserAccessOption);
    FServer.listen(ServerName());
}

bool TSingleInstance::NotifyRunning() {
    QElapsedTimer patience;
    patience.start();
    while (patience.elapsed() < ConnectPatienceMs) {
        QLocalSocket socket;
        socket.connectToServer(ServerName());
        if (socket.waitForConnected(500)) {
            socket.write("1", 1);
            const bool written = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return written;
        }
        QThread::msleep(50);
    }
    return false;
}
