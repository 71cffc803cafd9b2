// The keyring through QtKeychain's jobs, each given a time limit.
#include "platform/KeyringVault.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>

namespace {

// Where the keyring keeps the program's passwords; each is named by its account.
const QString Service = QStringLiteral("Quillbar");
// A keyring that asks the user to unlock it may take this long; a dialog waits for that.
constexpr auto AnswerLimit = std::chrono::seconds(60);
// A check waits this long: a keyring that does not answer must hold up neither the
// worker's other jobs nor the exit. The next check asks again.
constexpr auto CheckLimit = std::chrono::seconds(5);
const char* const NoAnswerText = "the keyring did not answer";
const char* const ClosedText = "the program is ending";

struct TJobEnd {
    QKeychain::Error Code = QKeychain::OtherError;
    std::string Error;
    std::string Text;
};

// One call to the keyring, answered once: by the keyring, or by the vault's close.
class TKeyringCall {
  public:
    void Answer(TJobEnd end) {
        {
            std::lock_guard<std::mutex> lock(FLock);
            if (FEnd)
                return;
            FEnd = std::move(end);
        }
        FAnswered.notify_all();
    }
    // The answer, or none when limit passed without one.
    std::optional<TJobEnd> WaitFor(std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(FLock);
        FAnswered.wait_for(lock, limit, [this] { return FEnd.has_value(); });
        return FEnd;
    }

  private:
    std::mutex FLock;
    std::condition_variable FAnswered;
    std::optional<TJobEnd> FEnd;
};

using TMakeJob = std::function<QKeychain::Job*()>;
using TCallPtr = std::shared_ptr<TKeyringCall>;

// Starts the job on this (the application's) thread; ended receives its end.
void StartJob(const TMakeJob& make, std::function<void(TJobEnd)> ended) {
    QKeychain::Job* job = make();
    job->setAutoDelete(true);
    QObject::connect(job, &QKeychain::Job::finished,
                     [ended = std::move(ended)](QKeychain::Job* finished) {
                         TJobEnd end;
                         end.Code = finished->error();
                         end.Error = finished->errorString().toStdString();
                         if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finished))
                             end.Text = read->textData().toStdString();
                         ended(std::move(end));
                     });
    job->start();
}

std::string ErrorOf(const TJobEnd& end) {
    if (end.Code == QKeychain::NoError)
        return {};
    return end.Error.empty() ? "error " + std::to_string(end.Code) : end.Error;
}

} // namespace

struct TKeyringVault::TCalls {
    std::mutex Lock;
    bool Closed = false;
    // Asked from another thread and not answered yet; the reads among them by account.
    std::set<TCallPtr> Waiting;
    std::map<std::string, TCallPtr> Reads;

    void Forget(const TCallPtr& call, const std::string& readKey) {
        std::lock_guard<std::mutex> lock(Lock);
        Waiting.erase(call);
        auto read = Reads.find(readKey);
        if (read != Reads.end() && read->second == call)
            Reads.erase(read);
    }
};

namespace {

// Runs the job and waits for its end. readKey names a read: a read of that account the
// keyring has not answered yet is waited for again rather than asked twice.
TJobEnd RunJob(const std::shared_ptr<TKeyringVault::TCalls>& calls, const TMakeJob& make,
               const std::string& readKey = {}) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return {QKeychain::OtherError, "no application", {}};
    if (QThread::currentThread() == app->thread()) {
        {
            std::lock_guard<std::mutex> lock(calls->Lock);
            if (calls->Closed)
                return {QKeychain::OtherError, ClosedText, {}};
        }
        // A dialog waits for the keyring; the loop goes on meanwhile.
        auto call = std::make_shared<TKeyringCall>();
        auto loop = std::make_shared<QEventLoop>();
        StartJob(make, [call, loop](TJobEnd end) {
            call->Answer(std::move(end));
            loop->quit();
        });
        QTimer::singleShot(AnswerLimit, loop.get(), &QEventLoop::quit);
        std::optional<TJobEnd> end = call->WaitFor(std::chrono::milliseconds(0));
        if (!end) {
            loop->exec();
            end = call->WaitFor(std::chrono::milliseconds(0));
        }
        return end ? *end : TJobEnd{QKeychain::OtherError, NoAnswerText, {}};
    }
    TCallPtr call;
    bool asked = false;
    {
        std::lock_guard<std::mutex> lock(calls->Lock);
        if (calls->Closed)
            return {QKeychain::OtherError, ClosedText, {}};
        auto read = readKey.empty() ? calls->Reads.end() : calls->Reads.find(readKey);
        asked = read != calls->Reads.end();
        call = asked ? read->second : std::make_shared<TKeyringCall>();
        calls->Waiting.insert(call);
        if (!readKey.empty())
            calls->Reads[readKey] = call;
    }
    if (!asked)
        QMetaObject::invokeMethod(
            app,
            [calls, call, make, readKey] {
                StartJob(make, [calls, call, readKey](TJobEnd end) {
                    calls->Forget(call, readKey);
                    call->Answer(std::move(end));
                });
            },
            Qt::QueuedConnection);
    std::optional<TJobEnd> end = call->WaitFor(CheckLimit);
    return end ? *end : TJobEnd{QKeychain::OtherError, NoAnswerText, {}};
}

} // namespace

TKeyringVault::TKeyringVault() : FCalls(std::make_shared<TCalls>()) {}

TKeyringVault::~TKeyringVault() {
    Close();
}

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
    const TJobEnd end = RunJob(
        FCalls,
        [key] {
            auto* job = new QKeychain::ReadPasswordJob(Service);
            job->setKey(key);
            return job;
        },
        accountName);
    return {end.Text, ErrorOf(end)};
}

std::string TKeyringVault::Write(const std::string& accountName, const std::string& password) {
    const QString key = QString::fromStdString(accountName);
    const QString text = QString::fromStdString(password);
    return ErrorOf(RunJob(FCalls, [key, text] {
        auto* job = new QKeychain::WritePasswordJob(Service);
        job->setKey(key);
        job->setTextData(text);
        return job;
    }));
}

std::string TKeyringVault::Remove(const std::string& accountName) {
    const QString key = QString::fromStdString(accountName);
    const TJobEnd end = RunJob(FCalls, [key] {
        auto* job = new QKeychain::DeletePasswordJob(Service);
        job->setKey(key);
        return job;
    });
    // Nothing to remove is as good as removed.
    return end.Code == QKeychain::EntryNotFound ? std::string() : ErrorOf(end);
}

void TKeyringVault::Close() {
    std::set<TCallPtr> waiting;
    {
        std::lock_guard<std::mutex> lock(FCalls->Lock);
        FCalls->Closed = true;
        waiting.swap(FCalls->Waiting);
        FCalls->Reads.clear();
    }
    for (const TCallPtr& call : waiting)
        call->Answer({QKeychain::OtherError, ClosedText, {}});
}
