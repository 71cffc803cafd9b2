// TSettings: the one owner of the options, accounts, read marks and the list's column
// layout, which loads, saves and announces every change to whoever follows them.
#pragma once

#include "core/ColumnLayout.h"
#include "core/Options.h"

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

// What a change touched; followers look only at what concerns them.
enum TSettingsPart : unsigned {
    spSchedule = 1 << 0, // the timed check
    spSkin = 1 << 1,
    spBar = 1 << 2,      // button width, scrolling, auto-hide, the status icon
    spLimits = 1 << 3,   // the size warning's limits
    spPlace = 1 << 4,    // where the bar stands
    spOther = 1 << 5,    // what is read where it is used (sound, questions, attachments)
    spAccounts = 1 << 6, // an account added, edited or removed
    spReadMarks = 1 << 7,
    spListLayout = 1 << 8, // the message list's columns and sort
    spEverything = (1 << 9) - 1,
};

struct TSettingsChange {
    unsigned What = 0;
    // The index the removed account had; later accounts have moved down by one.
    int RemovedAccount = -1;
    // The cause (an errno value) when the file could not be saved and that cause has not
    // been announced since the last save that worked. The changes stay in memory and go
    // with the next save.
    int SaveError = 0;
};

// What the user reads when the settings file could not be saved for cause; atExit: the
// last save, after which nothing is saved again.
std::string SaveFailureText(int cause, bool atExit = false);

class TSettings {
  public:
    using TListener = std::function<void(const TSettingsChange&)>;

    // Ends its listening when destroyed, so a follower cannot be called after its end.
    class TSubscription {
      public:
        TSubscription() = default;
        TSubscription(TSubscription&& other) noexcept;
        TSubscription& operator=(TSubscription&& other) noexcept;
        ~TSubscription();

      private:
        friend class TSettings;
        TSubscription(TSettings* owner, int id) : FOwner(owner), FId(id) {}
        TSettings* FOwner = nullptr;
        int FId = 0;
    };

    TSettings() = default;
    TSettings(const TSettings&) = delete;
    TSettings& operator=(const TSettings&) = delete;

    const TOptions& Options() const { return FOptions; }
    const std::vector<TAccount>& Accounts() const { return FAccounts; }
    bool ValidAccount(int index) const {
        return index >= 0 && index < static_cast<int>(FAccounts.size());
    }
    // Position of the account named so (letter case ignored), or -1.
    int IndexOf(const std::string& accountName) const;

    // Holds the saving and announcing of option and read mark changes until the outermost
    // batch ends, which saves once and announces all they touched together.
    class TBatch {
      public:
        explicit TBatch(TSettings& owner);
        ~TBatch();
        TBatch(const TBatch&) = delete;
        TBatch& operator=(const TBatch&) = delete;

      private:
        TSettings& FOwner;
    };

    // Reads the settings file afresh; announces everything. Changes a failed save left
    // unwritten are dropped.
    void Load();
    // Writes the options, every account's read marks and whatever a failed save left
    // unwritten. Each change is saved as it is made; the program's start and end save once
    // more. False when the file could not be written.
    bool Save();
    // How many saves have failed, and the cause of the last one (0 once a save worked).
    unsigned FailedSaves() const { return FFailedSaves; }
    int SaveError() const { return FSaveError; }
    // Applies change to a copy of the options; when it differs, keeps and saves it and
    // announces what differs.
    void UpdateOptions(const std::function<void(TOptions&)>& change);

    // The UIDs of the account's POP3 messages the user marked read.
    const TStringList& ReadMarks(int account) const {
        return FAccounts.at(static_cast<size_t>(account)).ReadList;
    }
    // Each changes the account's read marks, saves them and announces spReadMarks; a removal
    // that finds nothing (UIDs compared ignoring letter case) does neither.
    void AddReadMark(int account, const std::string& uid);
    void RemoveReadMarks(int account, const TStringList& uids);
    void ClearReadMarks(int account);

    const TColumnLayout& ListLayout() const { return FListLayout; }
    // Keeps a changed layout, writes it at once and announces spListLayout.
    void SetListLayout(const TColumnLayout& layout);

    // Each writes the file at once. The name keys an account: EditAccount keeps it.
    // A failed save is announced as for the other changes.
    void AddAccount(const TAccountConfig& config);
    bool EditAccount(const std::string& accountName, const TAccountConfig& config);
    bool RemoveAccount(const std::string& accountName);

    // A window's placement, key=value pairs in a section of its own; written at once, and
    // kept and announced as the other changes when that fails.
    using TKeyValues = std::vector<std::pair<std::string, std::string>>;
    void SetWindowPlacement(const std::string& section, const TKeyValues& values);

    [[nodiscard]] TSubscription Subscribe(TListener listener);

  private:
    TOptions FOptions;
    std::vector<TAccount> FAccounts;
    TColumnLayout FListLayout;
    std::map<int, TListener> FListeners;
    int FLastListener = 0;
    int FBatchDepth = 0;
    unsigned FUnsaved = 0; // what changed within the open batch
    // What the file lacks because a save failed; the next save writes it.
    bool FOptionsPending = false; // the options and read marks
    bool FLayoutPending = false;
    TStringList FAccountsPending; // by name
    TStringList FErasuresPending;
    std::map<std::string, TKeyValues> FPlacementsPending; // by section
    unsigned FFailedSaves = 0;
    int FSaveError = 0;
    std::vector<int> FCausesTold; // since the last save that worked

    TStringList& Marks(int account) { return FAccounts.at(static_cast<size_t>(account)).ReadList; }
    // Saves and announces parts now, or when the open batch ends.
    void Changed(unsigned parts);
    // Writes all that is pending in one replace of the file. Returns the cause of a failure
    // to announce: 0 when the save worked or its cause was announced before.
    int Flush();
    // The file holds everything: no save is pending, and no failure stands.
    void NothingPending();
    void Announce(const TSettingsChange& change);
};

// The program's settings.
TSettings& Settings();
