#pragma once
// The address-book store: the ordered list of ContactRecord whose positions are the
// keys of the user's file "zeloraTALKAddress<user ID>.ini" (section "zeloraTALK", keys
// "Entry%03d"), guarded by two locks (outer for each operation, inner around each step on the
// list). It is what the web side's reply parser updates (IAddressBookStore).
//
// Durability: every change is on disk before the operation returns (platform/ProfileFile
// rewrites the file through a temporary file, fsync and rename). Two processes of the same user
// share the file: each operation holds an flock on "<file>.lock" around its read-modify-write
// and first re-reads the file when another process changed it.
//
// Result codes:
//   Load 1.  Add 0, -2 refused (a field that breaks the line format), -3 not written (the list
//   is changed in memory only).  Update 0, -1 no live entry with that number, -2, -3.
//   MarkDeleted 0, -1 no live entry at the position, -3.  DeleteAll / Empty 0, -3.
//   SetPresence 1, -1 no brand word in the identifier, -2 no "@".
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "addressbook/ContactRecord.h"
#include "platform/UniqueFd.h"
#include "platform/ProfileFile.h"
#include "web/IAddressBookStore.h"

class AddressBookStore : public IAddressBookStore {
public:
    static constexpr const char* kSection = "zeloraTALK";
    static constexpr const char* kFilePrefix = "zeloraTALKAddress";
    static constexpr const char* kCallHistoryFile = "zeloraTALKCallHistory.ini";

    struct Hooks {
        // CSettings::ReadIsFirstTime: 1 with the old value, 2 when missing.
        std::function<int(int& oldValue)> readIsFirstTime;
        std::function<std::string()> readLastCheckTs;
        std::function<int(const std::string&)> writeLastCheckTs;
        // The address-book-pending flag.
        std::function<void(bool)> setPending;
    };

    // Hooks left empty go to CSettings::Instance() and CWebServiceClient::AddressBookPending().
    AddressBookStore(std::string folder, std::string brandWord, std::string presenceDomain, Hooks hooks = {});
    ~AddressBookStore() override;
    AddressBookStore(const AddressBookStore&) = delete;
    AddressBookStore& operator=(const AddressBookStore&) = delete;

    // $XDG_DATA_HOME/zeloraTALK (default ~/.local/share/zeloraTALK), or the program's folder
    // when the settings live in the settings file (portable mode).
    static std::string DefaultFolder();
    static std::string FileName(const std::string& userId);

    // Sign-in: the IsFirstTime clean-up, then the user's file into the list. 1.
    int Load(const std::string& userId);
    const std::string& UserId() const { return m_userId; }
    std::string Path() const;

    int Add(const ContactRecord& record);
    int Update(const ContactRecord& record);
    int MarkDeleted(std::size_t position);
    int DeleteAll();
    int Empty();
    int Find(long entryNumber);
    std::optional<ContactRecord> GetByPosition(std::size_t position);
    int SetPresence(const std::string& presenceId, int state);
    // Positions and records of the live entries, in position order.
    std::vector<std::pair<std::size_t, ContactRecord>> LiveEntries();
    std::size_t Count();
    // The live contact with this number among its four numbers: its name ("first middle last")
    // and the number type (1 VoIP, 2 mobile, 3 home, 4 business).
    bool LookupNumber(const std::string& number, std::string& name, int& numberType);

    // IAddressBookStore (the web side's replies). A web entry with a field that would break the
    // line format is kept out and logged.
    std::string LastCheckTimestamp() override;
    int StoreLastCheckTimestamp(const std::string& timestamp) override;
    void EmptyAddressBook() override;
    int FindByEntryNumber(long entryNumber) override;
    int UpdateEntry(const WebContact& record) override;
    int AddEntry(const WebContact& record) override;

    static ContactRecord FromWeb(const WebContact& web);

    // Told after every operation that may have changed the list (the web sync's replies, the
    // forms, presence states), on the thread that made it, with none of the store's locks held.
    // An observer only hands the news on (posts it); it must not remove itself from inside.
    using ChangeObserver = std::function<void()>;
    int AddChangeObserver(ChangeObserver observer);
    void RemoveChangeObserver(int id);

private:
    class FileLock;
    class ChangeNote;
    void NotifyChanged();
    // Caller holds m_outer and the file lock: re-read the file when it changed on disk.
    void RefreshLocked();
    void ReadListLocked();
    void RememberFileLocked();
    int WriteLineLocked(std::size_t position);
    int FindLocked(long entryNumber) const;
    int AddLocked(ContactRecord record);
    int UpdateLocked(const ContactRecord& record);
    bool HasFile() const { return m_file != nullptr; }

    std::string m_folder;
    std::string m_brandWord;
    std::string m_presenceDomain;
    Hooks m_hooks;
    std::string m_userId;

    std::mutex m_outer;
    std::mutex m_inner;
    std::vector<ContactRecord> m_list;
    std::unique_ptr<zelora::ProfileFile> m_file;
    int m_lockFd = -1;
    std::mutex m_observersLock;
    std::vector<std::pair<int, ChangeObserver>> m_observers;
    int m_lastObserver = 0;
    // What the file was when this process last read or wrote it. That file is held open, so
    // that no replacement can be given its inode: the same inode is the same file.
    zelora::UniqueFd m_seenFile;
    struct Seen {
        bool exists = false;
        ino_t inode = 0;
        off_t size = 0;
        long long mtimeNs = 0;
        bool operator==(const Seen&) const = default;
    } m_seen;
};
