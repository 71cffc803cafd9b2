// The bar as controller: the message store, the job queue, the errors and the check rounds.
#include "bar/FMain.h"

#include "core/UGlobal.h"
#include "core/UOptions.h"
#include "mail/DateTimeValue.h"
#include "mail/UCustomIndy.h"
#include "windows/FMsgList.h"
#include "windows/FTasks.h"
#include "windows/UScreenText.h"

#include <QDateTime>
#include <QLocale>
#include <QMenu>
#include <QRegularExpression>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>

namespace {

constexpr int RepaintInterval = 40; // ms between two repaints of the bar at most

QDateTime DateTimeOf(double days) {
    const TDateTimeParts parts = DecodeDateTime(days);
    return QDateTime(QDate(parts.Year, parts.Month, parts.Day),
                     QTime(parts.Hour, parts.Minute, parts.Second, parts.Millisecond));
}

// Short date, a blank and the long time; the time is left out at exactly midnight.
QString DateText(const QDateTime& value) {
    const QLocale locale;
    QString text = locale.toString(value.date(), QLocale::ShortFormat);
    if (value.time() != QTime(0, 0)) {
        QString format = locale.timeFormat(QLocale::LongFormat);
        // The zone is not part of a mail date as shown.
        format.remove(QRegularExpression("\\s*t+\\s*$"));
        text += " " + locale.toString(value.time(), format);
    }
    return text;
}

} // namespace

bool TfrmMain::ValidAccount(int account) const {
    return account >= 0 && account < static_cast<int>(Accounts.size());
}

TQBTaskInfo TfrmMain::CheckTask(int account) const {
    const TAccount& source = Accounts[account];
    TQBTaskInfo task;
    task.Kind = tkCheck;
    task.Host = source.POPHost;
    task.Port = source.POPPort;
    task.User = source.POPUser;
    task.Pass = source.POPPass;
    task.Secure = source.Secure;
    task.TLS = source.TLS;
    task.TLSVerify = source.TLSVerify;
    task.MsgNum = -1;
    task.Account = account;
    return task;
}

void TfrmMain::AddTask(const TQBTaskInfo& task) {
    if (!frmTasks || FClosing)
        return;
    Tasks.push_back(QueueTask(task, Buttons));
    const std::string name = ValidAccount(task.Account) ? Accounts[task.Account].AccountName : "";
    frmTasks->AddTaskRow(ScreenText(TaskCaption(task, name)));
}

void TfrmMain::NextTask() {
    if (Worker && Worker->IsTerminated())
        return;
    if (Tasks.empty())
        return;
    Tasks.erase(Tasks.begin());
    if (!frmTasks)
        return;
    frmTasks->RemoveFirstTaskRow();
    if (frmTasks->lvTasks->topLevelItemCount() > 0)
        return;
    if (frmTasks->lvErrors->topLevelItemCount() > 0)
        frmTasks->pcTasks->setCurrentIndex(1);
    else
        frmTasks->hide();
}

void TfrmMain::tmrCheckTimer() {
    if (HasCheckTask(Tasks))
        return;
    for (int i = 0; i < static_cast<int>(Accounts.size()); ++i)
        if (Accounts[i].Active)
            AddTask(CheckTask(i));
}

void TfrmMain::CheckNow(int tag) {
    if (!frmMsgList)
        return;
    Stick = true;
    frmMsgList->pcBoxes->setCurrentWidget(frmMsgList->tsInbox);
    frmMsgList->pcBoxesChange();
    if (tag == -1)
        tmrCheckTimer();
    else if (ValidAccount(tag) && !HasCheckTaskFor(Tasks, tag))
        AddTask(CheckTask(tag));
    if (frmTasks)
        frmTasks->ShowPage(0);
    Stick = false;
}

void TfrmMain::MarkRead(int index, bool save) {
    if (!frmMsgList || index < 0 || index >= static_cast<int>(Buttons.size()) ||
        Buttons[index].Read)
        return;
    Stick = true;
    TButton& entry = Buttons[index];
    entry.Read = true;
    if (ValidAccount(entry.Account))
        Accounts[entry.Account].ReadList.push_back(entry.UID);
    if (TMsgItem* row = frmMsgList->FindRow(index)) {
        if (frmMsgList->ShowAllDown())
            row->SetImage(2);
        else
            frmMsgList->DeleteRow(row);
    }
    if (frmMsgList->RowCount() == 0 && ReadWindow())
        ReadWindow()->hide();
    if (save) {
        RepaintBar();
        SaveOptions();
    }
    Stick = false;
}

void TfrmMain::MarkAllRead() {
    for (int i = 0; i < static_cast<int>(Buttons.size()); ++i)
        if (!Buttons[i].Read)
            MarkRead(i, false);
    RepaintBar();
    SaveOptions();
}

void TfrmMain::RemoveButton(int index, bool renumber) {
    if (index < 0 || index >= static_cast<int>(Buttons.size()))
        return;
    if (frmMsgList) {
        frmMsgList->EntryRemoved(index);
        frmMsgList->lvMessagesChange();
    }
    RemoveEntry(Buttons, Tasks, index, renumber);
    RepaintBar();
}

void TfrmMain::RemoveAccountButtons(int account) {
    for (int i = static_cast<int>(Buttons.size()) - 1; i >= 0; --i)
        if (Buttons[i].Account == account)
            RemoveButton(i, false);
    // The waiting jobs of the account go; the running head ends as usual.
    for (size_t i = 1; i < Tasks.size(); ++i)
        if (Tasks[i].Account == account)
            NotifyDropped(Tasks[i]);
    const std::vector<int> dropped = AccountRemoved(Buttons, Tasks, account, FRunningAccount);
    if (frmTasks)
        for (auto row = dropped.rbegin(); row != dropped.rend(); ++row)
            frmTasks->RemoveTaskRow(*row);
}

void TfrmMain::AddError(const std::string& text) {
    if (!frmTasks)
        return;
    const auto now = std::chrono::system_clock::now();
    Errors.push_back({text, now});
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    frmTasks->AddErrorRow(ScreenText(text),
                          QDateTime::fromMSecsSinceEpoch(ms.count()).toString("hh:mm:ss"));
    RepaintBar();
}

void TfrmMain::ClearErrors() {
    Errors.clear();
    if (frmTasks)
        frmTasks->ClearErrorRows();
    RepaintBar();
}

void TfrmMain::CancelTask() {
    if (!Tasks.empty())
        Tasks.front().Cancelled = true;
    if (Worker)
        Worker->Stop();
}

void TfrmMain::ApplyWorkerLimits() {
    if (!Worker)
        return;
    Worker->MaxSize = Options.MaxWarning ? Options.MaxSize : -1;
    Worker->MaxLines = Options.MaxLines;
}

void TfrmMain::FillAccountMenu(QMenu* menu, bool clear) {
    if (clear)
        menu->clear();
    auto add = [this, menu](const QString& caption, int tag) {
        QAction* item = menu->addAction(caption);
        item->setData(tag);
        connect(item, &QAction::triggered, this, [this, tag] { CheckNow(tag); });
    };
    add("&All accounts", -1);
    menu->addSeparator();
    for (int i = 0; i < static_cast<int>(Accounts.size()); ++i)
        add(ScreenText(Accounts[i].AccountName), i);
}

void TfrmMain::BuildAccountMenus() {
    if (mnuMainCheckNow)
        FillAccountMenu(mnuMainCheckNow, true);
    if (frmMsgList)
        FillAccountMenu(frmMsgList->mnuAccounts, true);
}

void TfrmMain::OpenButton(int index) {
    if (!frmMsgList || !frmMsgList->FindRow(index))
        return;
    Stick = true;
    const TButton& entry = Buttons[index];
    if (!std::filesystem::exists(CacheFileName(entry.UID)) && ValidAccount(entry.Account)) {
        TQBTaskInfo task = CheckTask(entry.Account);
        task.Kind = tkRetrieve;
        task.MsgNum = entry.MsgNum;
        task.Button = index;
        AddTask(task);
        if (frmTasks)
            frmTasks->ShowPage(0);
    }
    Stick = false;
}

void TfrmMain::DeleteMessages(const std::vector<int>& indices, QObject* notify, int account) {
    if (!ValidAccount(account))
        return;
    TQBTaskInfo task = CheckTask(account);
    task.Kind = tkRemoveSeveral;
    task.MsgNum = 0;
    for (int index : indices)
        if (index >= 0 && index < static_cast<int>(Buttons.size()))
            task.MsgNums.push_back(std::to_string(Buttons[index].MsgNum));
    task.Notify = WindowHandle(notify);
    AddTask(task);
    if (frmTasks)
        frmTasks->ShowPage(0);
}

TMsgRow TfrmMain::EntryRow(int index, TRecipientForm form) const {
    const TButton& entry = Buttons[index];
    const TQBMessage& msg = *entry.Msg;
    TMsgRow row;
    row.Subject = ScreenText(msg.Decoder.Subject);
    row.From = ScreenText(msg.From.Address);
    row.To = ScreenText(RecipientsText(msg, form));
    row.DateValue = DateTimeOf(msg.Date);
    row.Date = DateText(row.DateValue);
    row.Account =
        ValidAccount(entry.Account) ? ScreenText(Accounts[entry.Account].AccountName) : QString();
    row.Entry = index;
    row.Image = entry.Read ? 2 : 0;
    return row;
}

void TfrmMain::RepaintBar() {
    if (!FLastRepaint.isValid() || FLastRepaint.elapsed() >= RepaintInterval) {
        FLastRepaint.start();
        update();
    } else if (!FRepaintTimer->isActive()) {
        FRepaintTimer->start(RepaintInterval);
    }
}

void TfrmMain::SlideBar(bool shown) {
    if (Stick && !shown)
        return;
    Shown = shown;
}
