// TSettings: the one owner of the options and accounts, which loads, saves and announces
// every change to whoever follows them.
#pragma once

#include "core/Options.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

// What a change touched; followers look only at what concerns them.
enum TSettingsPart : unsigned {
    spSchedule = 1 << 0, // the timed check
    spSkin = 1 << 1,
    spBar = 1 << 2,      // button width, scrolling, auto-hide
    spLimits = 1 << 3,   // the size warning's limits
    spPlace = 1 << 4,    // where the bar stands
    spOther = 1 << 5,    // what is read where it is used (sound, questions, attachments)
    spAccounts = 1 << 6, // an account added, edited or removed
    spEverything = (1 << 7) - 1,
};

struct TSettingsChange {
    unsigned What = 0;
    // The index the removed account had; later accounts have moved down by one.
    int RemovedAccount = -1;
};

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

    // Reads the settings file afresh; announces everything.
    void Load();
    // Writes the options and every account's read marks.
    void Save() const;
    // Applies change to a copy of the options; when it differs, keeps and saves it and
    // announces what differs.
    void UpdateOptions(const std::function<void(TOptions&)>& change);

    // The read marks of an account, kept up by the message store; saved with Save.
    TStringList& ReadMarks(int account) {
        return FAccounts.at(static_cast<size_t>(account)).ReadList;
    }

    // Each writes the file at once. The name keys an account: EditAccount keeps it.
    void AddAccount(const TAccountConfig& config);
    bool EditAccount(const std::string& accountName, const TAccountConfig& config);
    bool RemoveAccount(const std::string& accountName);

    [[nodiscard]] TSubscription Subscribe(TListener listener);

  private:
    TOptions FOptions;
    std::vector<TAccount> FAccounts;
    std::map<int, TListener> FListeners;
    int FLastListener = 0;

    void Announce(const TSettingsChange& change);
};

// The program's settings.
TSettings& Settings();
