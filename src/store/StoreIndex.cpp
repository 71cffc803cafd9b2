// The message store's header index: the entries known from the last run are shown at start
// and their headers are not fetched again; each account's entries are saved when a check
// ends and at exit.
#include "store/MessageStore.h"

#include "core/Folders.h"
#include "core/MD5Hex.h"
#include "model/EntryText.h"
#include "model/HeaderIndex.h"
#include "store/IndexSaver.h"

std::string TMessageStore::IndexPath(int account) const {
    const TAccount& a = Settings().Accounts().at(static_cast<size_t>(account));
    // Another server, user or protocol under the same name starts a new index.
    const std::string key = a.AccountName + '\0' + a.Host + '\0' + std::to_string(a.Port) + '\0' +
                            a.User + '\0' + std::to_string(static_cast<int>(a.Protocol));
    // Named like a cache file, so that the exit's clean-up treats it as one.
    return CacheFolder() + "/" + MD5Hex("header index\n" + key) + ".dat";
}

void TMessageStore::LoadIndexes() {
    for (int account = 0; account < static_cast<int>(Settings().Accounts().size()); ++account) {
        const TAccount& config = Settings().Accounts()[static_cast<size_t>(account)];
        if (!config.Active)
            continue;
        TCacheFile file;
        std::vector<TIndexedEntry> indexed;
        try {
            if (!ReadCacheFile(IndexPath(account), file) || !ParseHeaderIndex(file.Text, indexed))
                continue;
        } catch (const std::exception&) {
            continue; // unreadable: the check fetches every header, as without an index
        }
        const TUIDSet readMarks =
            config.Protocol == TMailProtocol::IMAP ? TUIDSet() : MakeUIDSet(config.ReadList);
        TStringList& known = KnownOnServer(account);
        for (TIndexedEntry& item : indexed) {
            TEntry entry;
            entry.Account = account;
            entry.UID = std::move(item.UID);
            entry.MessageID = std::move(item.MessageID);
            entry.Fields = std::move(item.Fields);
            CleanEntryFields(entry.Fields);
            entry.Read = readMarks.count(LowerUID(entry.UID)) > 0;
            if (!entry.Read)
                FUnconfirmedUnread.insert(LowerUID(config.AccountName));
            known.push_back(entry.UID);
            AddEntry(std::move(entry));
        }
        FIndexDirty.erase(LowerUID(config.AccountName)); // the file holds these entries
    }
}

void TMessageStore::IndexChanged(int account) {
    if (ValidAccount(account))
        FIndexDirty.insert(LowerUID(AccountName(account)));
}

std::vector<int> TMessageStore::ChangedIndexes() const {
    std::vector<int> changed;
    // An inactive account shows no entries: its index is kept as it is.
    for (int account = 0; account < static_cast<int>(Settings().Accounts().size()); ++account)
        if (Settings().Accounts()[static_cast<size_t>(account)].Active &&
            FIndexDirty.count(LowerUID(AccountName(account))) > 0)
            changed.push_back(account);
    return changed;
}

void TMessageStore::SaveChangedIndexes() {
    for (int account : ChangedIndexes()) {
        const std::string key = LowerUID(AccountName(account));
        // Changes from now on make the index out of date again.
        if (FIndexSaver->Begin(key, IndexPath(account)))
            FIndexDirty.erase(key);
    }
}

void TMessageStore::SaveChangedIndexesNow() {
    FIndexSaver->Finish();
    for (int account : ChangedIndexes()) {
        std::vector<TIndexedEntry> indexed;
        for (const TEntry& entry : FEntries)
            // A header that could not be read is tried again at the next start.
            if (entry.Account == account && !entry.Fields.Unreadable)
                indexed.push_back({entry.UID, entry.MessageID, entry.Fields});
        try {
            WriteCacheFile(IndexPath(account), true, HeaderIndexText(indexed));
            FIndexDirty.erase(LowerUID(AccountName(account)));
        } catch (const std::exception&) {
            // Only a cache: the next start fetches the headers again.
        }
    }
}

int TMessageStore::IndexAccount(const std::string& key, const std::string& path) const {
    for (int account = 0; account < static_cast<int>(Settings().Accounts().size()); ++account)
        if (LowerUID(AccountName(account)) == key)
            return Settings().Accounts()[static_cast<size_t>(account)].Active &&
                           IndexPath(account) == path
                       ? account
                       : -1;
    return -1;
}

std::unordered_map<std::string, long long> TMessageStore::KnownSizes(int account) const {
    std::unordered_map<std::string, long long> sizes;
    for (const TEntry& entry : FEntries)
        if (entry.Account == account && entry.Fields.Size >= 0)
            sizes.emplace(LowerUID(entry.UID), entry.Fields.Size);
    return sizes;
}
