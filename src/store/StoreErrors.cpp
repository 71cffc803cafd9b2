// The message store's errors: added, counted when the same one recurs, and gone when their
// account works again; and what the store knows of an account's recovery.
#include "store/MessageStore.h"

#include "core/Global.h"
#include "oauth/AccessTokens.h"

#include <QTimer>

#include <algorithm>

void TMessageStore::AddError(const std::string& text, const std::string& account) {
    PutError(text, account, false);
}

void TMessageStore::AddCheckError(const std::string& text, const std::string& account) {
    PutError(text, account, true);
}

void TMessageStore::PutError(const std::string& text, const std::string& account,
                             bool endsWithCheck) {
    if (FClosing)
        return;
    const std::string line = account.empty() ? text : text + " (" + account + ")";
    const auto now = std::chrono::system_clock::now();
    // A timed check that fails the same way again and again keeps one row.
    if (!account.empty()) {
        const auto same = std::find_if(FErrors.begin(), FErrors.end(), [&](const TError& error) {
            return error.Text == line && SameText(error.Account, account);
        });
        if (same != FErrors.end()) {
            same->Time = now;
            ++same->Count;
            emit ErrorChanged(static_cast<int>(same - FErrors.begin()));
            return;
        }
    }
    TError error;
    error.Text = line;
    error.Account = account;
    error.Time = now;
    error.SignInExpired = !account.empty() && text == SignInExpiredText;
    // Whatever job met it, a check that succeeds has signed in.
    error.EndsWithCheck = !account.empty() && (endsWithCheck || error.SignInExpired);
    FErrors.push_back(std::move(error));
    emit ErrorAdded(static_cast<int>(FErrors.size()) - 1);
}

void TMessageStore::ClearErrors() {
    FErrors.clear();
    emit ErrorsCleared();
}

void TMessageStore::AccountWorks(int account) {
    const std::string name = AccountName(account);
    if (name.empty())
        return;
    FLastSuccess[LowerUID(name)] = std::chrono::system_clock::now();
    // What the check itself reported stays, as do the failures of other jobs: a removal that
    // did not complete is still news after the check that follows it.
    for (int i = static_cast<int>(FErrors.size()) - 1; i >= 0; --i) {
        const TError& error = FErrors[static_cast<size_t>(i)];
        if (!error.EndsWithCheck || !SameText(error.Account, name) || error.Time >= FJobStarted)
            continue;
        FErrors.erase(FErrors.begin() + i);
        emit ErrorRemoved(i);
    }
}

std::optional<std::chrono::system_clock::time_point>
TMessageStore::LastSuccess(const std::string& account) const {
    const auto found = FLastSuccess.find(LowerUID(account));
    if (found == FLastSuccess.end())
        return std::nullopt;
    return found->second;
}

std::optional<std::chrono::system_clock::time_point>
TMessageStore::NextCheck(const std::string& account) const {
    const int index = Settings().IndexOf(account);
    if (!ValidAccount(index) || !Settings().Accounts()[static_cast<size_t>(index)].Active)
        return std::nullopt;
    const auto now = std::chrono::system_clock::now();
    // The running head is the check that failed, not the next one.
    if (std::any_of(FTasks.begin() + (FTasks.empty() ? 0 : 1), FTasks.end(),
                    [index](const TQueuedTask& task) {
                        return task.Kind == TJobKind::Check && task.Account == index;
                    }))
        return now;
    if (!FCheckTimer->isActive())
        return std::nullopt;
    return now + FCheckTimer->remainingTimeAsDuration();
}

void TMessageStore::AccountEdited(const std::string& account) {
    const int index = Settings().IndexOf(account);
    if (FClosing || !ValidAccount(index))
        return;
    RestartWatcher(account);
    if (!Settings().Accounts()[static_cast<size_t>(index)].Active)
        return;
    // Jobs still waiting would log in with what was there before; the running one has.
    bool checkWaits = false;
    for (size_t i = 1; i < FTasks.size(); ++i) {
        if (FTasks[i].Account != index)
            continue;
        FTasks[i].Server = CheckTask(index).Server;
        checkWaits = checkWaits || FTasks[i].Kind == TJobKind::Check;
    }
    if (!checkWaits)
        AddTask(CheckTask(index));
}

void TMessageStore::SignInAgain(const std::string& account) {
    emit SignInWanted(account);
}
