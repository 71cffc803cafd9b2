// The settings owner: changes go through it, are saved and announced.
#include "core/Settings.h"

#include "core/Global.h"
#include "core/IniFile.h"

#include <algorithm>
#include <cstring>

namespace {

unsigned PartsThatDiffer(const TOptions& a, const TOptions& b) {
    unsigned parts = 0;
    if (a.Interval != b.Interval || a.IntervalCheck != b.IntervalCheck)
        parts |= spSchedule;
    if (a.Skin != b.Skin)
        parts |= spSkin;
    if (a.ButtonWidth != b.ButtonWidth || a.AutoHide != b.AutoHide || a.TrayIcon != b.TrayIcon ||
        a.Scroll != b.Scroll || a.ScrollDelay != b.ScrollDelay || a.ScrollSpeed != b.ScrollSpeed)
        parts |= spBar;
    if (a.MaxWarning != b.MaxWarning || a.MaxSize != b.MaxSize || a.MaxLines != b.MaxLines)
        parts |= spLimits;
    if (a.Edge != b.Edge || a.Left != b.Left || a.Top != b.Top || a.Width != b.Width)
        parts |= spPlace;
    if (a.PlaySound != b.PlaySound || a.SoundFile != b.SoundFile || a.Notify != b.Notify ||
        a.QuietHours != b.QuietHours || a.QuietFrom != b.QuietFrom || a.QuietTo != b.QuietTo ||
        a.MaxAsk != b.MaxAsk || a.DeleteConfirm != b.DeleteConfirm ||
        a.ViewHTMLImages != b.ViewHTMLImages || a.Attachments != b.Attachments)
        parts |= spOther;
    return parts;
}

} // namespace

std::string SaveFailureText(int cause, bool atExit) {
    return "The settings could not be saved to " + SettingsFileName() + " (" +
           std::strerror(cause) + ")." +
           (atExit ? " The changes since the last save are lost."
                   : " Your changes are kept and saved again with the next change and at exit.");
}

TSettings::TBatch::TBatch(TSettings& owner) : FOwner(owner) {
    ++FOwner.FBatchDepth;
}

TSettings::TBatch::~TBatch() {
    if (--FOwner.FBatchDepth == 0)
        FOwner.Changed(0);
}

TSettings::TSubscription::TSubscription(TSubscription&& other) noexcept
    : FOwner(other.FOwner), FId(other.FId) {
    other.FOwner = nullptr;
}

TSettings::TSubscription& TSettings::TSubscription::operator=(TSubscription&& other) noexcept {
    if (this != &other) {
        if (FOwner)
            FOwner->FListeners.erase(FId);
        FOwner = other.FOwner;
        FId = other.FId;
        other.FOwner = nullptr;
    }
    return *this;
}

TSettings::TSubscription::~TSubscription() {
    if (FOwner)
        FOwner->FListeners.erase(FId);
}

int TSettings::IndexOf(const std::string& accountName) const {
    for (size_t i = 0; i < FAccounts.size(); ++i)
        if (SameText(FAccounts[i].AccountName, accountName))
            return static_cast<int>(i);
    return -1;
}

void TSettings::Load() {
    LoadSettings(FOptions, FAccounts);
    FListLayout = LoadColumnLayout();
    NothingPending();
    Announce({spEverything});
}

void TSettings::NothingPending() {
    FOptionsPending = FLayoutPending = false;
    FAccountsPending.clear();
    FErasuresPending.clear();
    FPlacementsPending.clear();
    FSaveError = 0;
    FCausesTold.clear();
}

bool TSettings::Save() {
    FOptionsPending = true;
    if (const int cause = Flush())
        Announce({0, -1, cause});
    return FSaveError == 0;
}

int TSettings::Flush() {
    TIniFile ini(SettingsFileName());
    ini.BeginUpdate();
    // Erased first: an account removed and added again under its name starts afresh.
    for (const std::string& name : FErasuresPending)
        EraseAccount(ini, name);
    for (const std::string& name : FAccountsPending)
        if (const int index = IndexOf(name); index >= 0)
            WriteAccount(ini, FAccounts[static_cast<size_t>(index)]);
    if (FOptionsPending)
        WriteOptions(ini, FOptions, FAccounts);
    if (FLayoutPending)
        WriteColumnLayout(ini, FListLayout);
    for (const auto& [section, values] : FPlacementsPending)
        for (const auto& [key, value] : values)
            ini.WriteString(section, key, value);
    if (ini.EndUpdate()) {
        NothingPending();
        return 0;
    }
    ++FFailedSaves;
    FSaveError = ini.LastError();
    if (std::find(FCausesTold.begin(), FCausesTold.end(), FSaveError) != FCausesTold.end())
        return 0;
    FCausesTold.push_back(FSaveError);
    return FSaveError;
}

void TSettings::UpdateOptions(const std::function<void(TOptions&)>& change) {
    TOptions changed = FOptions;
    change(changed);
    const unsigned parts = PartsThatDiffer(FOptions, changed);
    if (parts == 0)
        return;
    FOptions = std::move(changed);
    Changed(parts);
}

void TSettings::AddReadMark(int account, const std::string& uid) {
    Marks(account).push_back(uid);
    Changed(spReadMarks);
}

void TSettings::RemoveReadMarks(int account, const TStringList& uids) {
    TStringList& marks = Marks(account);
    bool removed = false;
    for (const std::string& uid : uids) {
        const int mark = IndexOfText(marks, uid);
        if (mark >= 0)
            marks.erase(marks.begin() + mark);
        removed = removed || mark >= 0;
    }
    if (removed)
        Changed(spReadMarks);
}

void TSettings::ClearReadMarks(int account) {
    TStringList& marks = Marks(account);
    if (marks.empty())
        return;
    marks.clear();
    Changed(spReadMarks);
}

void TSettings::SetListLayout(const TColumnLayout& layout) {
    if (layout == FListLayout)
        return;
    FListLayout = layout;
    FLayoutPending = true;
    Announce({spListLayout, -1, Flush()});
}

void TSettings::AddAccount(const TAccountConfig& config) {
    TAccount account;
    static_cast<TAccountConfig&>(account) = config;
    FAccounts.push_back(std::move(account));
    FAccountsPending.push_back(config.AccountName);
    Announce({spAccounts, -1, Flush()});
}

bool TSettings::EditAccount(const std::string& accountName, const TAccountConfig& config) {
    const int index = IndexOf(accountName);
    if (index < 0)
        return false;
    TAccount& account = FAccounts[static_cast<size_t>(index)];
    const std::string name = account.AccountName;
    static_cast<TAccountConfig&>(account) = config;
    account.AccountName = name;
    FAccountsPending.push_back(name);
    Announce({spAccounts, -1, Flush()});
    return true;
}

bool TSettings::RemoveAccount(const std::string& accountName) {
    const int index = IndexOf(accountName);
    if (index < 0)
        return false;
    FErasuresPending.push_back(FAccounts[static_cast<size_t>(index)].AccountName);
    FAccounts.erase(FAccounts.begin() + index);
    Announce({spAccounts, index, Flush()});
    return true;
}

void TSettings::SetWindowPlacement(const std::string& section, const TKeyValues& values) {
    FPlacementsPending[section] = values;
    if (const int cause = Flush())
        Announce({0, -1, cause});
}

TSettings::TSubscription TSettings::Subscribe(TListener listener) {
    FListeners.emplace(++FLastListener, std::move(listener));
    return {this, FLastListener};
}

void TSettings::Changed(unsigned parts) {
    FUnsaved |= parts;
    if (FBatchDepth > 0 || FUnsaved == 0)
        return;
    const unsigned unsaved = FUnsaved;
    FUnsaved = 0;
    FOptionsPending = true;
    Announce({unsaved, -1, Flush()});
}

void TSettings::Announce(const TSettingsChange& change) {
    // A follower may end another's listening, or its own, while it is told.
    std::vector<int> ids;
    for (const auto& entry : FListeners)
        ids.push_back(entry.first);
    for (int id : ids) {
        const auto found = FListeners.find(id);
        if (found == FListeners.end())
            continue;
        const TListener listener = found->second;
        listener(change);
    }
}

TSettings& Settings() {
    static TSettings settings;
    return settings;
}
