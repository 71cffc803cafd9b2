// The keyring through QtKeychain's jobs, one at a time, each given a time limit.
#include "platform/KeyringVault.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>

namespace {

// Where the keyring keeps the program's passwords; each is named by its account.
const QString Service = QStringLiteral("Quillbar");
// A keyring that asks the user to unlock it may take this long.
constexpr auto AnswerLimit = std::chrono::seconds(60);

struct TJobEnd {
    QKeychain::Error Code = QKeychain::OtherError;
    std::string Error;
    std::string Text;
};

using TMakeJob = std::function<QKeychain::Job*()>;

// Starts the job on this (the application's) thread; done receives its end, then ended runs.
void StartJob(const TMakeJob& make, const std::shared_ptr<std::promise<TJobEnd>>& done,
              const std::function<void()>& then = {}) {
    QKeychain::Job* job = make();
    job->setAutoDelete(true);
    QObject::connect(job, &QKeychain::Job::finished, [done, then](QKeychain::Job* ended) {
        TJobEnd end;
        end.Code = ended->error();
        end.Error = ended->errorString().toStdString();
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(ended))
            end.Text = read->textData().toStdString();
        done->set_value(std::move(end));
        if (then)
            then();
    });
    job->start();
}

TJobEnd RunJob(const TMakeJob& make) {
    auto done = std::make_shared<std::promise<TJobEnd>>();
    std::future<TJobEnd> end = done->get_future();
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return {QKeychain::OtherError, "no application", {}};
    if (QThread::currentThread() == app->thread()) {
        // A dialog waits for the keyring; the loop goes on meanwhile.
        auto loop = std::make_shared<QEventLoop>();
        StartJob(make, done, [loop] { loop->quit(); });
        QTimer::singleShot(AnswerLimit, loop.get(), &QEventLoop::quit);
        if (end.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            loop->exec();
        if (end.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return {QKeychain::OtherError, "the keyring did not answer", {}};
        return end.get();
    } else {
        QMetaObject::invokeMethod(
            app, [make, done] { StartJob(make, done); }, Qt::QueuedConnection);
    }
    if (end.wait_for(AnswerLimit) != std::future_status::ready)
        return {QKeychain::OtherError, "the keyring did not answer", {}};
    return end.get();
}

std::string ErrorOf(const TJobEnd& end) {
    if (end.Code == QKeychain::NoError)
        return {};
    return end.Error.empty() ? "error " + std::to_string(end.Code) : end.Error;
}

} // namespace

bool TKeyringVault::Available() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusConnectionInterface* names = bus.isConnected() ? bus.interface() : nullptr;
    if (!names)
        return false;
    const QStringList activatable = names->activatableServiceNames();
    for (const QString& service :
         {QStringLiteral("org.freedesktop.secrets"), QStringLiteral("org.kde.kwalletd6"),
          QStringLiteral("org.kde.kwalletd5")})
        if (names->isServiceRegistered(service) || activatable.contains(service))
            return true;
    return false;
}

TVaultRead TKeyringVault::Read(const std::string& accountName) {
    const QString key = QString::fromStdString(accountName);
    const TJobEnd end = RunJob([key] {
        auto* job = new QKeychain::ReadPasswordJob(Service);
        job->setKey(key);
        return job;
    });
    return {end.Text, ErrorOf(end)};
}

std::string TKeyringVault::Write(const std::string& accountName, const std::string& password) {
    const QString key = QString::fromStdString(accountName);
    const QString text = QString::fromStdString(password);
    return ErrorOf(RunJob([key, text] {
        auto* job = new QKeychain::WritePasswordJob(Service);
        job->setKey(key);
        job->setTextData(text);
        return job;
    }));
}

std::string TKeyringVault::Remove(const std::string& accountName) {
    const QString key = QString::fromStdString(accountName);
    const TJobEnd end = RunJob([key] {
        auto* job = new QKeychain::DeletePasswordJob(Service);
        job->setKey(key);
        return job;
    });
    // Nothing to remove is as good as removed.
    return end.Code == QKeychain::EntryNotFound ? std::string() : ErrorOf(end);
}
