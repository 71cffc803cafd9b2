// The bar and its mail worker: start and stop, the worker's events, the cache clean-up.
#include "bar/FMain.h"

#include "core/UGlobal.h"
#include "core/UOptions.h"
#include "mail/UCustomIndy.h"
#include "platform/UHotKey.h"
#include "platform/USound.h"
#include "windows/FMsgList.h"
#include "windows/FTasks.h"
#include "windows/UScreenText.h"
#include "windows/WindowMessages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <unordered_map>

namespace {

constexpr int ConnectTimeout = 30000;
constexpr int WorkerWaitLimit = 9999;

// Windows the worker may post to, by handle; only the main thread reads or writes it.
std::unordered_map<intptr_t, QPointer<QObject>>& Targets() {
    static std::unordered_map<intptr_t, QPointer<QObject>> targets;
    return targets;
}

} // namespace

intptr_t TfrmMain::WindowHandle(QObject* window) {
    if (!window)
        return 0;
    const auto handle = reinterpret_cast<intptr_t>(window);
    Targets()[handle] = window;
    return handle;
}

void TfrmMain::PostWindowMessage(int message, intptr_t handle, int64_t wParam, int64_t lParam) {
    auto found = Targets().find(handle);
    if (found == Targets().end() || !found->second)
        return;
    QCoreApplication::postEvent(found->second, new TWindowMessage(message, wParam, lParam));
}

void TfrmMain::NotifyDropped(const TQBTaskInfo& task) {
    if (task.Notify != 0)
        PostWindowMessage(WM_QB_TASKENDED, task.Notify, 0, 0);
}

void TfrmMain::CreateWorker() {
    // Events run on this thread while the worker waits for them.
    auto synchronize = [this](const std::function<void()>& call) {
        QMetaObject::invokeMethod(
            this, [&call] { call(); }, Qt::BlockingQueuedConnection);
    };
    // Posted messages travel through this thread's queue, which also drops those for
    // windows that are gone.
    auto post = [](int message, intptr_t target, int64_t wParam, int64_t lParam) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [=] { PostWindowMessage(message, target, wParam, lParam); }, Qt::QueuedConnection);
    };
    Worker = std::make_unique<TQBThread>(ConnectTimeout, synchronize, post);
    Worker->OnGetTask = [this](TQBThread&, bool& hasTask) { WorkerGetTask(hasTask); };
    Worker->OnMessage = [this](TQBThread&, const TStringList* lines, int number,
                               const std::string& uid) { WorkerMessage(lines, number, uid); };
    Worker->OnRenumber = [this](TQBThread&, const std::string& uid, int number) {
        WorkerRenumber(uid, number);
    };
    Worker->OnCheckDone = [this](TQBThread&) { WorkerCheckDone(); };
    Worker->OnError = [this](TQBThread&, int fatal, const std::string& text) {
        WorkerError(fatal, text);
    };
    Worker->OnSizeWarning = [this](TQBThread&, int size, uint8_t& answer) {
        WorkerSizeWarning(size, answer);
    };
    Worker->OnStatus = [this](TQBThread&, const std::string& text) { WorkerStatus(text); };
    Worker->ProgressWnd = WindowHandle(frmTasks);
    ApplyWorkerLimits();
    Worker->Resume();
}

void TfrmMain::StopWorker() {
    if (!Worker)
        return;
    Worker->Stop();
    Worker->Terminate();
    QElapsedTimer waited;
    waited.start();
    bool forced = false;
    while (!Worker->Finished) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
        if (waited.elapsed() > WorkerWaitLimit) {
            Worker->ForceFinished();
            forced = true;
        }
    }
    // Joining a worker that did not finish in time could hang the exit for good.
    if (forced)
        Worker.release()->Abandon();
    else
        Worker.reset();
}

void TfrmMain::CleanCache() {
    TUIDSet onServer;
    for (const TAccount& account : Accounts)
        for (const std::string& uid : account.ServerList)
            onServer.insert(LowerUID(uid));
    std::error_code error;
    std::vector<std::filesystem::path> stale;
    for (const auto& file : std::filesystem::directory_iterator(AppPath + "/cache", error)) {
        const std::string name = file.path().filename().string();
        if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".dat") == 0 &&
            !onServer.count(LowerUID(name.substr(0, name.size() - 4))))
            stale.push_back(file.path());
    }
    for (const auto& file : stale)
        std::filesystem::remove(file, error);
}

void TfrmMain::WorkerGetTask(bool& hasTask) {
    hasTask = false;
    if (!frmTasks || FClosing)
        return;
    frmTasks->pbProgress->setValue(0);
    // A job broken off by Cancel reports no closing empty status of its own.
    frmTasks->lblStatus->clear();
    if (ValidAccount(FRunningAccount))
        Accounts[FRunningAccount].ServerList = Worker->ServerList;
    FRunningAccount = -1;
    // A cancelled job still at the head was broken off without its last event (the
    // worker reports nothing while stopping); a job whose messages have all gone since
    // it was queued has nothing left to do.
    while (!Tasks.empty() && (Tasks.front().Cancelled || !ValidAccount(Tasks.front().Account) ||
                              !ResolveTask(Tasks.front(), Buttons))) {
        NotifyDropped(Tasks.front());
        NextTask();
    }
    if (Tasks.empty())
        return;
    hasTask = true;
    const TQueuedTask& head = Tasks.front();
    Worker->ServerList = Accounts[head.Account].ServerList;
    Worker->Task = head;
    FRunningAccount = head.Account;
    if (head.Kind == tkCheck) {
        FReadSet = MakeUIDSet(Accounts[head.Account].ReadList);
        FRenumberHint = 0;
    }
    NewMail = false;
}

void TfrmMain::WorkerMessage(const TStringList* lines, int number, const std::string& uid) {
    if (FClosing || Tasks.empty())
        return;
    switch (Tasks.front().Kind) {
    case tkCheck:
        CheckMessage(lines, number, uid);
        break;
    case tkRemoveSeveral:
        // Until removals update the store, the job ends at its final report.
        if (number == 1)
            NextTask();
        break;
    default:
        NextTask();
        break;
    }
}

void TfrmMain::CheckMessage(const TStringList* lines, int number, const std::string& uid) {
    // The account was removed while its check ran.
    if (!ValidAccount(FRunningAccount))
        return;
    Stick = true;
    const TAccount& account = Accounts[FRunningAccount];
    auto msg = std::make_shared<TQBMessage>();
    if (lines)
        msg->LoadFromLines(*lines);
    TButton entry;
    entry.Caption = EntryCaption(*msg, account.AccountName);
    entry.Account = FRunningAccount;
    entry.MsgNum = number;
    entry.UID = uid;
    entry.Read = FReadSet.count(LowerUID(uid)) > 0;
    entry.Hint = EntryHint(*msg, account.AccountName);
    entry.Msg = std::move(msg);
    Buttons.push_back(std::move(entry));
    const int index = static_cast<int>(Buttons.size()) - 1;
    FRenumberHint = index + 1;
    RepaintBar();
    if (!Buttons[index].Read)
        NewMail = true;
    if (frmMsgList && (!Buttons[index].Read || frmMsgList->ShowAllDown())) {
        frmMsgList->AddRow(EntryRow(index, TRecipientForm::CommaSeparated));
        frmMsgList->lvMessagesChange();
    }
    Stick = false;
}

void TfrmMain::WorkerRenumber(const std::string& uid, int number) {
    if (FClosing)
        return;
    const int index = FindEntry(Buttons, FRunningAccount, uid, FRenumberHint);
    if (index < 0)
        return;
    FRenumberHint = index + 1;
    Buttons[index].MsgNum = number;
    if (!frmMsgList)
        return;
    if (TMsgItem* row = frmMsgList->FindRow(index); row && !Buttons[index].Read)
        row->SetImage(0);
}

void TfrmMain::WorkerCheckDone() {
    if (FClosing)
        return;
    if (ValidAccount(FRunningAccount)) {
        TAccount& account = Accounts[FRunningAccount];
        // At once, not only when the worker next asks for a job: a program ended right
        // after this check must still know which cached messages are on the server.
        account.ServerList = Worker->ServerList;
        const TUIDSet onServer = MakeUIDSet(Worker->ServerList);
        std::error_code error;
        for (int index : MissingEntries(Buttons, FRunningAccount, onServer)) {
            const std::string uid = Buttons[index].UID;
            std::filesystem::remove(CacheFileName(uid), error);
            const int mark = IndexOfText(account.ReadList, uid);
            if (mark >= 0)
                account.ReadList.erase(account.ReadList.begin() + mark);
            // The check has given the remaining messages their current numbers.
            RemoveButton(index, false);
        }
    }
    NextTask();
    SaveOptions();
    if (NewMail) {
        if (Options.PlaySound)
            PlaySoundFile(Options.SoundFile);
        Stick = true;
        SlideBar(true);
    }
}

void TfrmMain::WorkerError(int fatal, const std::string& text) {
    if (!frmTasks || FClosing)
        return;
    std::string line = text;
    if (ValidAccount(FRunningAccount))
        line += " (" + Accounts[FRunningAccount].AccountName + ")";
    AddError(line);
    if (fatal == 1)
        NextTask();
    frmTasks->ShowPage(1);
}

void TfrmMain::WorkerStatus(const std::string& text) {
    if (frmTasks && !FClosing)
        frmTasks->lblStatus->setText(ScreenText(text));
}

void TfrmMain::WorkerSizeWarning(int, uint8_t& answer) {
    // Until the size question exists, a message over the limit is not fetched.
    answer = 2;
    NextTask();
}

void TfrmMain::CreateStore() {
    ListShown = false;
    frmTasks = new TfrmTasks;
    frmTasks->OnClearErrors = [this] { ClearErrors(); };
    frmTasks->OnCancelTask = [this] { CancelTask(); };

    tmrCheck = new QTimer(this);
    connect(tmrCheck, &QTimer::timeout, this, &TfrmMain::tmrCheckTimer);
    // An interval of 0 minutes (or one too long for the timer) means no automatic check.
    const long long interval = static_cast<long long>(Options.Interval) * 60000;
    if (interval > 0 && interval <= INT_MAX) {
        tmrCheck->setInterval(static_cast<int>(interval));
        if (Options.IntervalCheck)
            tmrCheck->start();
    }
    tmrCheckTimer();

    CreateWorker();

    tmrScrollDelay = new QTimer(this);
    tmrScrollDelay->setSingleShot(true);
    tmrScrollDelay->setInterval(std::max(0, Options.ScrollDelay));
    tmrScroll = new QTimer(this);
    tmrScroll->setInterval(std::max(1, Options.ScrollSpeed));

    FHotKey = new THotKey(this);
    FHotKey->OnPressed = [this] { SlideBar(true); };
    FHotKey->Register();
}

void TfrmMain::DestroyStore() {
    FClosing = true;
    StopWorker();
    // Until the bar docks, its edge stays as loaded; a floating bar that was shown keeps
    // its place for the next run.
    if (Options.Edge == abeFloat && testAttribute(Qt::WA_WState_ExplicitShowHide)) {
        Options.Top = y();
        Options.Left = x();
        Options.Width = width();
    }
    CleanCache();
    if (FHotKey)
        FHotKey->Unregister();
    delete frmTasks;
    frmTasks = nullptr;
}
