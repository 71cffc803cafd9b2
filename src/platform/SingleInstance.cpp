// One running copy per user.
#include "platform/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace {

const char* const LockName = "Quillbar";
const char* const MessageName = "QuillbarNewInstance";

QString UserName() {
    const passwd* entry = getpwuid(getuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(getuid());
}

// QLockFile does not keep the system's error: repeat what it does with a file of our own
// (create, write) to learn why the folder refuses it.
QString CreateFailureReason(const QString& folder) {
    const QByteArray probe =
        QFile::encodeName(folder + "/." + LockName + "." + QString::number(getpid()));
    const int fd = open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0) {
        if (write(fd, "0", 1) != 1)
            error = errno;
        close(fd);
        unlink(probe.constData());
    }
    return error ? QString::fromLocal8Bit(std::strerror(error)) : QString("unknown error");
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
    // The runtime folder the session names. Qt would quietly move to a folder of its own
    // when that one is unusable, where the lock could land anywhere (even in "/") and
    // another copy would not find it: there the lock fails instead, with the reason.
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath() + "/runtime-" + UserName();
    return folder + "/" + LockName;
}

bool TSingleInstance::Acquire() {
    const QString file = LockFileName();
    FLock = std::make_unique<QLockFile>(file);
    // Never stale by age: only a lock whose process is gone may be taken over.
    FLock->setStaleLockTime(0);
    if (FLock->tryLock(0))
        return true;
    FHeldElsewhere = FLock->error() == QLockFile::LockFailedError;
    if (FHeldElsewhere) {
        qint64 pid = 0;
        FLock->getLockInfo(&pid, nullptr, nullptr);
        FFailure = QString("the lock file %1 is held by process %2, which does not answer")
                       .arg(file)
                       .arg(pid);
    } else {
        const QString folder = QFileInfo(file).path();
        FFailure = QString("cannot create the lock file in %1: %2")
                       .arg(folder, CreateFailureReason(folder));
    }
    FLock.reset();
    return false;
}

void TSingleInstance::Listen() {
    // A socket left by a crashed copy would block listening; we hold the lock, so it is stale.
    QLocalServer::removeServer(ServerName());
    FServer.setSocketOptions(QLocalServer::UserAccessOption);
    FServer.listen(ServerName());
}

bool TSingleInstance::NotifyRunning(int patienceMs) {
    QElapsedTimer patience;
    patience.start();
    for (;;) {
        QLocalSocket socket;
        socket.connectToServer(ServerName());
        if (socket.waitForConnected(500)) {
            socket.write("1", 1);
            const bool written = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return written;
        }
        if (patience.elapsed() >= patienceMs)
            return false;
        QThread::msleep(50);
    }
}
