#include "addressbook/AddressBookStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include "addressbook/ContactLine.h"
#include "app/CLogger.h"
#include "app/CSettings.h"
#include "web/CWebServiceClient.h"

namespace {

bool EqualNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y))
            return false;
    }
    return true;
}

} // namespace

// flock on the lock file for the life of one operation.
class AddressBookStore::FileLock {
public:
    FileLock(int fd, bool exclusive) : m_fd(fd)
    {
        if (m_fd < 0)
            return;
        while (::flock(m_fd, exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
        }
    }
    ~FileLock()
    {
        if (m_fd >= 0)
            ::flock(m_fd, LOCK_UN);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int m_fd;
};

AddressBookStore::AddressBookStore(std::string folder, std::string brandWord, std::string presenceDomain, Hooks hooks)
    : m_folder(std::move(folder)), m_brandWord(std::move(brandWord)), m_presenceDomain(std::move(presenceDomain)),
      m_hooks(std::move(hooks))
{
    ZLOG_SCOPE();
    if (!m_hooks.readIsFirstTime)
        m_hooks.readIsFirstTime = [](int& old) { return CSettings::Instance().ReadIsFirstTime(old); };
    if (!m_hooks.readLastCheckTs)
        m_hooks.readLastCheckTs = []() {
            std::string stamp;
            CSettings::Instance().ReadLastCheckTS(stamp);
            return stamp;
        };
    if (!m_hooks.writeLastCheckTs)
        m_hooks.writeLastCheckTs = [](const std::string& stamp) {
            return CSettings::Instance().WriteLastCheckTS(stamp);
        };
    if (!m_hooks.setPending)
        m_hooks.setPending = [](bool pending) { CWebServiceClient::AddressBookPending().store(pending); };
}

AddressBookStore::~AddressBookStore()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

// Tells the observers once the operation is over and its locks are released, so that they
// may read the store at once.
class AddressBookStore::ChangeNote {
public:
    explicit ChangeNote(AddressBookStore& store) : m_store(store) { }
    ~ChangeNote() { m_store.NotifyChanged(); }
    ChangeNote(const ChangeNote&) = delete;
    ChangeNote& operator=(const ChangeNote&) = delete;

private:
    AddressBookStore& m_store;
};

int AddressBookStore::AddChangeObserver(ChangeObserver observer)
{
    std::lock_guard<std::mutex> lock(m_observersLock);
    m_observers.emplace_back(++m_lastObserver, std::move(observer));
    return m_lastObserver;
}

void AddressBookStore::RemoveChangeObserver(int id)
{
    std::lock_guard<std::mutex> lock(m_observersLock);
    std::erase_if(m_observers, [id](const auto& entry) { return entry.first == id; });
}

void AddressBookStore::NotifyChanged()
{
    std::lock_guard<std::mutex> lock(m_observersLock);
    for (const auto& [id, observer] : m_observers)
        observer();
}

std::string AddressBookStore::DefaultFolder()
{
    if (CSettings::FromFile())
        return CSettings::Instance().ProgramFolder();
    std::filesystem::path base;
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && *data == '/') {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home != nullptr ? home : "/tmp") / ".local" / "share";
    }
    return (base / "zeloraTALK").string();
}

std::string AddressBookStore::FileName(const std::string& userId) { return std::string(kFilePrefix) + userId + ".ini"; }

std::string AddressBookStore::Path() const { return (std::filesystem::path(m_folder) / FileName(m_userId)).string(); }

int AddressBookStore::Load(const std::string& userId)
{
    ZLOG_SCOPE();
    ChangeNote note(*this);
    std::lock_guard<std::mutex> outer(m_outer);
    std::error_code ec;
    std::filesystem::create_directories(m_folder, ec);
    int old = 0;
    int first = m_hooks.readIsFirstTime(old);
    if (first == 2 || (first == 1 && old == 1)) {
        // Old address books and the call history go on a first run.
        for (const auto& item : std::filesystem::directory_iterator(m_folder, ec)) {
            const std::string name = item.path().filename().string();
            bool book = name.size() >= std::strlen(kFilePrefix) + 4 && name.rfind(kFilePrefix, 0) == 0 &&
                name.compare(name.size() - 4, 4, ".ini") == 0;
            if (book || name == kCallHistoryFile) {
                ZLOG(LOG_DEBUG, "Deleting %s", name.c_str());
                std::filesystem::remove(item.path(), ec);
            }
        }
    }
    m_hooks.setPending(false);
    m_userId = userId;
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_lockFd = ::open((Path() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lockFd < 0)
        ZLOG(LOG_ERROR, "Unable to open the lock file of %s: %s", Path().c_str(), std::strerror(errno));
    m_file = std::make_unique<zelora::ProfileFile>(Path());
    {
        FileLock lock(m_lockFd, false);
        m_seen = Seen{};
        m_seen.exists = true; // forces the read
        m_seen.inode = static_cast<ino_t>(-1);
        RefreshLocked();
    }
    int live = 0;
    {
        std::lock_guard<std::mutex> inner(m_inner);
        for (const ContactRecord& r : m_list)
            live += r.flag == '1' && !r.placeholder ? 1 : 0;
        ZLOG(LOG_DEBUG, "%zu entries, %d live", m_list.size(), live);
    }
    if (live == 0)
        m_hooks.setPending(true);
    return 1;
}

void AddressBookStore::RememberFileLocked()
{
    // Opened while the file seen before is still held: a new file cannot have its inode.
    zelora::UniqueFd file(::open(Path().c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st { };
    Seen now;
    if (file.Valid() && ::fstat(file.Get(), &st) == 0) {
        now.exists = true;
        now.inode = st.st_ino;
        now.size = st.st_size;
        now.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec +
            static_cast<long long>(st.st_ctim.tv_nsec);
    }
    m_seen = now;
    m_seenFile = std::move(file);
}

void AddressBookStore::RefreshLocked()
{
    if (!HasFile())
        return;
    Seen before = m_seen;
    RememberFileLocked();
    if (before == m_seen)
        return;
    if (m_file->Load() != 0)
        ZLOG(LOG_ERROR, "Unable to read %s", Path().c_str());
    ReadListLocked();
}

void AddressBookStore::ReadListLocked()
{
    // Presence states live in memory only: they follow their entries across a re-read.
    std::map<std::string, int> presence;
    std::lock_guard<std::mutex> inner(m_inner);
    for (const ContactRecord& r : m_list)
        if (!r.placeholder && r.presence != 0)
            presence[r.entryNumber] = r.presence;
    m_list.clear();
    for (std::size_t position = 0;; ++position) {
        std::string value = m_file->GetString(kSection, ContactLine::Key(position), "");
        if (value.empty())
            break;
        ContactRecord record;
        if (!ContactLine::Parse(value, record)) {
            ZLOG(LOG_ERROR, "Unable to load %s; kept as it is", ContactLine::Key(position).c_str());
            record = ContactRecord{};
            record.placeholder = true;
        } else if (auto it = presence.find(record.entryNumber); it != presence.end()) {
            record.presence = it->second;
        }
        m_list.push_back(std::move(record));
    }
}

int AddressBookStore::WriteLineLocked(std::size_t position)
{
    std::string line;
    {
        std::lock_guard<std::mutex> inner(m_inner);
        line = ContactLine::Format(m_list[position]);
    }
    if (!HasFile() || m_file->WriteString(kSection, ContactLine::Key(position), line) != 0) {
        ZLOG(LOG_ERROR, "Unable to write %s of %s", ContactLine::Key(position).c_str(), Path().c_str());
        RememberFileLocked();
        return -3;
    }
    RememberFileLocked();
    return 0;
}

int AddressBookStore::AddLocked(ContactRecord record)
{
    if (const char* problem = ContactLine::RecordProblem(record)) {
        ZLOG(LOG_ERROR, "Entry %s refused: its %s cannot be stored", record.entryNumber.c_str(), problem);
        return -2;
    }
    record.flag = '1';
    record.placeholder = false;
    std::size_t position;
    {
        std::lock_guard<std::mutex> inner(m_inner);
        position = m_list.size();
        for (std::size_t i = 0; i < m_list.size(); ++i) {
            if (!m_list[i].placeholder && m_list[i].flag == '0') {
                position = i;
                break;
            }
        }
        if (position == m_list.size())
            m_list.push_back(record);
        else
            m_list[position] = record;
    }
    return WriteLineLocked(position);
}

int AddressBookStore::Add(const ContactRecord& record)
{
    ZLOG_SCOPE();
    ChangeNote note(*this);
    std::lock_guard<std::mutex> outer(m_outer);
    FileLock lock(m_lockFd, true);
    RefreshLocked();
    return AddLocked(record);
}

int AddressBookStore::FindLocked(long entryNumber) const
{
    const std::string text = std::to_string(entryNumber);
    for (std::size_t i = 0; i < m_list.size(); ++i)
        if (m_list[i].IsLive() && m_list[i].entryNumber == text)
            return static_cast<int>(i);
    return -1;
}

int AddressBookStore::UpdateLocked(const ContactRecord& record)
{
    if (const char* problem = ContactLine::RecordProblem(record)) {
        ZLOG(LOG_ERROR, "Entry %s refused: its %s cannot be stored", record.entryNumber.c_str(), problem);
        return -2;
    }
    int position;
    {
        std::lock_guard<std::mutex> inner(m_inner);
        position = FindLocked(std::strtol(record.entryNumber.c_str(), nullptr, 10));
        if (position < 0)
            return -1;
        ContactRecord& entry = m_list[static_cast<std::size_t>(position)];
        const int presence = entry.presence;
        entry = record;
        entry.flag = '1';
        entry.placeholder = false;
        entry.presence = presence;
    }
    return WriteLineLocked(static_cast<std::size_t>(position));
}

int AddressBookStore::Update(const ContactRecord& record)
{
    ZLOG_SCOPE();
    ChangeNote note(*this);
    std::lock_guard<std::mutex> outer(m_outer);
    FileLock lock(m_lockFd, true);
    RefreshLocked();
    return UpdateLocked(record);
}

int AddressBookStore::MarkDeleted(std::size_t position)
{
    ZLOG_SCOPE();
    ChangeNote note(*this);
    std::lock_guard<std::mutex> outer(m_outer);
    std::string entryNumber;
    {
        std::lock_guard<std::mutex> inner(m_inner);
        if (position >= m_list.size() || !m_list[position].IsLive())
            return -1;
        entryNumber = m_list[position].entryNumber;
    }
    FileLock lock(m_lockFd, true);
    RefreshLocked();
    {
        std::lock_guard<std::mutex> inner(m_inner);
        // Another process may have moved the entry meanwhile: it is found by its number.
        if (position >= m_list.size() || !m_list[position].IsLive() || m_list[position].entryNumber != entryNumber) {
            int found = -1;
            for (std::size_t i = 0; i < m_list.size(); ++i)
                if (m_list[i].IsLive() && m_list[i].entryNumber == entryNumber)
                    found = static_cast<int>(i);
            if (found < 0)
                return -1;
            position = static_cast<std::size_t>(found);
        }
        m_list[position].flag = '0';
    }
    return WriteLineLocked(position);
}

int AddressBookStore::DeleteAll()
{
    ZLOG_SCOPE();
    ChangeNote note(*this);
    std::lock_guard<std::mutex> outer(m_outer);
    FileLock lock(m_lockFd, true);
    RefreshLocked();
    {
        std::lock_guard<std::mutex> inner(m_inner);
        m_list.clear();
    }
    int result = HasFile() && m_file->DeleteSection(kSection) == 0 ? 0 : -3;
    RememberFileLocked();
    return result;
}

int AddressBookStore::Empty()
{
    ZLOG_SCOPE();
    ChangeNote note(*this);
    std::lock_guard<std::mutex> outer(m_outer);
    FileLock lock(m_lockFd, true);
    {
        std::lock_guard<std::mutex> inner(m_inner);
        m_list.clear();
    }
    int result = 0;
    if (HasFile()) {
        if (::unlink(Path().c_str()) != 0 && errno != ENOENT) {
            ZLOG(LOG_ERROR, "Unable to delete %s", Path().c_str());
            result = -3;
        }
        m_file->Load();
    }
    RememberFileLocked();
    return result;
}

int AddressBookStore::Find(long entryNumber)
{
    std::lock_guard<std::mutex> outer(m_outer);
    FileLock lock(m_lockFd, false);
    RefreshLocked();
    std::lock_guard<std::mutex> inner(m_inner);
    return FindLocked(entryNumber);
}

std::optional<ContactRecord> AddressBookStore::GetByPosition(std::size_t position)
{
    std::lock_guard<std::mutex> outer(m_outer);
    FileLock lock(m_lockFd, false);
    RefreshLocked();
    std::lock_guard<std::mutex> inner(m_inner);
    if (position >= m_list.size())
        return std::nullopt;
    return m_list[position];
}

std::vector<std::pair<std::size_t, ContactRecord>> AddressBookStore::LiveEntries()
{
    std::lock_guard<std::mutex> outer(m_outer);
    FileLock lock(m_lockFd, false);
    RefreshLocked();
    std::lock_guard<std::mutex> inner(m_inner);
    std::vector<std::pair<std::size_t, ContactRecord>> out;
    for (std::size_t i = 0; i < m_list.size(); ++i)
        if (m_list[i].IsLive())
            out.emplace_back(i, m_list[i]);
    return out;
}

std::size_t AddressBookStore::Count()
{
    std::lock_guard<std::mutex> outer(m_outer);
    FileLock lock(m_lockFd, false);
    RefreshLocked();
    std::lock_guard<std::mutex> inner(m_inner);
    return m_list.size();
}

int AddressBookStore::SetPresence(const std::string& presenceId, int state)
{
    ZLOG_SCOPE();
    if (m_brandWord.empty() || presenceId.find(m_brandWord) == std::string::npos)
        return -1;
    const std::size_t at = presenceId.find('@');
    if (at == std::string::npos)
        return -2;
    const std::string address = presenceId.substr(0, at) + "@" + m_presenceDomain;
    ChangeNote note(*this);
    std::lock_guard<std::mutex> outer(m_outer);
    std::lock_guard<std::mutex> inner(m_inner);
    for (ContactRecord& r : m_list)
        if (!r.placeholder && EqualNoCase(r.email, address))
            r.presence = state;
    return 1;
}

bool AddressBookStore::LookupNumber(const std::string& number, std::string& name, int& numberType)
{
    if (number.empty())
        return false;
    for (const auto& [position, r] : LiveEntries()) {
        const std::string* numbers[] = {&r.voip, &r.mobile, &r.home, &r.business};
        for (int i = 0; i < 4; ++i) {
            if (*numbers[i] == number) {
                name.clear();
                for (const std::string* part : {&r.firstName, &r.middleName, &r.lastName}) {
                    if (part->empty())
                        continue;
                    if (!name.empty())
                        name += ' ';
                    name += *part;
                }
                numberType = i + 1;
                return true;
            }
        }
    }
    return false;
}

std::string AddressBookStore::LastCheckTimestamp() { return m_hooks.readLastCheckTs(); }

int AddressBookStore::StoreLastCheckTimestamp(const std::string& timestamp)
{
    return m_hooks.writeLastCheckTs(timestamp);
}

void AddressBookStore::EmptyAddressBook() { Empty(); }

int AddressBookStore::FindByEntryNumber(long entryNumber) { return Find(entryNumber); }

ContactRecord AddressBookStore::FromWeb(const WebContact& web)
{
    ContactRecord r;
    r.entryNumber = web.entryNumber;
    r.name = web.name;
    r.email = web.email;
    r.voip = web.voip;
    r.mobile = web.mobile;
    r.home = web.home;
    r.business = web.business;
    r.title = web.title;
    r.firstName = web.firstName;
    r.middleName = web.middleName;
    r.lastName = web.lastName;
    r.birthDate = web.birthDate;
    r.companyName = web.companyName;
    r.altEmail = web.altEmail;
    r.fax = web.fax;
    r.pager = web.pager;
    r.icq = web.icq;
    r.website = web.website;
    r.comments = web.comments;
    return r;
}

int AddressBookStore::UpdateEntry(const WebContact& record)
{
    ZLOG_SCOPE();
    return Update(FromWeb(record));
}

int AddressBookStore::AddEntry(const WebContact& record)
{
    ZLOG_SCOPE();
    ContactRecord r = FromWeb(record);
    ChangeNote note(*this);
    std::lock_guard<std::mutex> outer(m_outer);
    FileLock lock(m_lockFd, true);
    RefreshLocked();
    // Another process of the same user may have added this entry since the caller looked.
    int position;
    {
        std::lock_guard<std::mutex> inner(m_inner);
        position = FindLocked(std::strtol(r.entryNumber.c_str(), nullptr, 10));
    }
    return position >= 0 ? UpdateLocked(r) : AddLocked(r);
}
