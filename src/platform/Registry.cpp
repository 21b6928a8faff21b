#include "platform/Registry.h"

#include "platform/FileLock.h"
#include "platform/PlatformLog.h"
#include "platform/ProfileFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

namespace zelora {
namespace {

std::string homeBased(const char* xdgVar, const char* fallback)
{
    const char* base = std::getenv(xdgVar);
    if (base != nullptr && base[0] == '/')
        return base;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr && home[0] != '\0' ? home : "/tmp") + "/" + fallback;
}

} // namespace

int Registry::Open(const std::string& path, bool readOnly)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_path = path;
    m_readOnly = readOnly;
    m_movedTo.clear();
    m_keys.clear();
    // A batch still open writes nothing of what it held before.
    m_pending.clear();
    m_beforeBatch.clear();

    std::string text;
    int rc = ReadFileContents(path, text);
    if (rc == -1)
        return kLoaded;
    if (rc < 0) {
        // Not readable: writing would replace a file we never saw, so refuse writes.
        m_readOnly = true;
        PLATFORM_LOG(1, "Unable to read registry file %s: %s", path.c_str(), std::strerror(errno));
        return kUnreadable;
    }
    KeyMap parsed;
    int badLine = Parse(text, parsed);
    if (badLine == 0) {
        m_keys = std::move(parsed);
        return kLoaded;
    }
    if (readOnly) {
        PLATFORM_LOG(1, "Registry file %s is damaged at line %d; ignored", path.c_str(), badLine);
        return kDamaged;
    }
    std::string target = path + ".corrupt";
    std::error_code ec;
    for (int n = 1; std::filesystem::exists(target, ec) && n < 1000; ++n)
        target = path + ".corrupt." + std::to_string(n);
    if (std::rename(path.c_str(), target.c_str()) != 0) {
        m_readOnly = true;
        PLATFORM_LOG(1, "Registry file %s is damaged at line %d and cannot be moved aside: %s", path.c_str(), badLine,
                     std::strerror(errno));
        return kUnreadable;
    }
    m_movedTo = target;
    PLATFORM_LOG(1, "Registry file %s is damaged at line %d; moved to %s, starting empty", path.c_str(), badLine,
                 target.c_str());
    return kMovedAside;
}

std::string Registry::MovedAsideTo() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_movedTo;
}

int Registry::Persist(const KeyMap& keys)
{
    if (m_readOnly || m_path.empty())
        return -1;
    if (ReplaceFileContents(m_path, SerializeKeys(keys)) != 0) {
        PLATFORM_LOG(1, "Unable to write registry file %s", m_path.c_str());
        return -1;
    }
    return 0;
}

bool Registry::Reload(KeyMap& into)
{
    std::string text;
    // Gone or unreadable: what we hold is all there is, and the next write restores it.
    if (ReadFileContents(m_path, text) != 0)
        return false;
    KeyMap parsed;
    int badLine = Parse(text, parsed);
    if (badLine != 0) {
        PLATFORM_LOG(1, "Registry file %s changed on disk and is damaged at line %d; keeping the values held",
                     m_path.c_str(), badLine);
        return false;
    }
    into = std::move(parsed);
    return true;
}

void Registry::EnsureFolder() const
{
    std::error_code ec;
    std::filesystem::path parent = std::filesystem::path(m_path).parent_path();
    if (!parent.empty())
        std::filesystem::create_directories(parent, ec);
}

int Registry::Mutate(Change change)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_readOnly || m_path.empty())
        return -1;
    if (m_batchDepth > 0) {
        // Held and seen by reads at once; on disk when the batch ends.
        const int rc = change(m_keys);
        if (rc == kChanged)
            m_pending.push_back(std::move(change));
        return rc < 0 ? rc : 0;
    }
    EnsureFolder();
    FileLock fileLock(m_path);
    Reload(m_keys);
    KeyMap next = m_keys;
    const int rc = change(next);
    if (rc != kChanged)
        return rc < 0 ? rc : 0;
    if (Persist(next) != 0)
        return -1;
    m_keys.swap(next);
    return 0;
}

void Registry::BeginBatch()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_batchDepth++ == 0) {
        m_beforeBatch = m_keys;
        m_pending.clear();
    }
}

int Registry::EndBatch()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_batchDepth == 0 || --m_batchDepth > 0)
        return 0;
    const int rc = FlushBatch();
    m_pending.clear();
    m_beforeBatch.clear();
    return rc;
}

int Registry::FlushBatch()
{
    if (m_pending.empty())
        return 0;
    EnsureFolder();
    FileLock fileLock(m_path);
    // The changes go on top of the file as it is now, which another process may have replaced.
    KeyMap base = std::move(m_beforeBatch);
    Reload(base);
    KeyMap next = base;
    for (const Change& change : m_pending)
        change(next);
    if (Persist(next) != 0) {
        m_keys = std::move(base);
        return -1;
    }
    m_keys = std::move(next);
    return 0;
}

Registry::Batch::Batch(Registry& registry) : m_registry(&registry) { registry.BeginBatch(); }

Registry::Batch::~Batch() { Commit(); }

int Registry::Batch::Commit()
{
    Registry* registry = std::exchange(m_registry, nullptr);
    return registry != nullptr ? registry->EndBatch() : 0;
}

bool Registry::KeyExists(std::string_view key) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_keys.count(Fold(NormalizeKey(key))) != 0;
}

int Registry::CreateKey(std::string_view key)
{
    std::string path = NormalizeKey(key);
    if (path.empty())
        return -1;
    return Mutate([path](KeyMap& keys) {
        Key& k = keys[Fold(path)];
        if (!k.path.empty())
            return kUnchanged;
        k.path = path;
        return kChanged;
    });
}

int Registry::DeleteKey(std::string_view key)
{
    std::string folded = Fold(NormalizeKey(key));
    if (folded.empty())
        return -1;
    return Mutate([folded](KeyMap& keys) {
        std::string prefix = folded + "\\";
        int result = kUnchanged;
        for (auto it = keys.begin(); it != keys.end();) {
            if (it->first == folded || it->first.compare(0, prefix.size(), prefix) == 0) {
                it = keys.erase(it);
                result = kChanged;
            } else {
                ++it;
            }
        }
        return result;
    });
}

int Registry::DeleteValue(std::string_view key, std::string_view name)
{
    return Mutate([folded = Fold(NormalizeKey(key)), foldedName = Fold(name)](KeyMap& keys) {
        auto k = keys.find(folded);
        if (k == keys.end() || k->second.values.erase(foldedName) == 0)
            return kMissing;
        return kChanged;
    });
}

int Registry::GetValue(std::string_view key, std::string_view name, RegValue& out) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto k = m_keys.find(Fold(NormalizeKey(key)));
    if (k == m_keys.end())
        return kMissing;
    auto v = k->second.values.find(Fold(name));
    if (v == k->second.values.end())
        return kMissing;
    out = v->second.value;
    return 0;
}

int Registry::GetString(std::string_view key, std::string_view name, std::string& out) const
{
    RegValue v;
    int rc = GetValue(key, name, v);
    if (rc != 0)
        return rc;
    if (v.type != RegType::String)
        return kWrongType;
    out = std::move(v.text);
    return 0;
}

int Registry::GetDword(std::string_view key, std::string_view name, std::uint32_t& out) const
{
    RegValue v;
    int rc = GetValue(key, name, v);
    if (rc != 0)
        return rc;
    if (v.type != RegType::Dword)
        return kWrongType;
    out = v.dword;
    return 0;
}

int Registry::GetBinary(std::string_view key, std::string_view name, std::vector<std::uint8_t>& out) const
{
    RegValue v;
    int rc = GetValue(key, name, v);
    if (rc != 0)
        return rc;
    if (v.type != RegType::Binary)
        return kWrongType;
    out = std::move(v.bytes);
    return 0;
}

int Registry::SetValue(std::string_view key, std::string_view name, const RegValue& value)
{
    std::string path = NormalizeKey(key);
    if (path.empty() || name.empty())
        return -1;
    // By value: a batch applies the change again when it ends.
    return Mutate([path, name = std::string(name), value](KeyMap& keys) {
        Key& target = keys[Fold(path)];
        if (target.path.empty())
            target.path = path;
        Value& slot = target.values[Fold(name)];
        const RegValue& old = slot.value;
        // Nothing to write when the value is already stored as given.
        bool same = !slot.name.empty() && old.type == value.type &&
            ((value.type == RegType::String && old.text == value.text) ||
             (value.type == RegType::Dword && old.dword == value.dword) ||
             (value.type == RegType::Binary && old.bytes == value.bytes));
        if (same)
            return kUnchanged;
        if (slot.name.empty())
            slot.name = name;
        slot.value = value;
        return kChanged;
    });
}

int Registry::SetString(std::string_view key, std::string_view name, std::string_view text)
{
    RegValue v;
    v.type = RegType::String;
    v.text = std::string(text);
    return SetValue(key, name, v);
}

int Registry::SetDword(std::string_view key, std::string_view name, std::uint32_t value)
{
    RegValue v;
    v.type = RegType::Dword;
    v.dword = value;
    return SetValue(key, name, v);
}

int Registry::SetBinary(std::string_view key, std::string_view name, const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr && size != 0)
        return -1;
    RegValue v;
    v.type = RegType::Binary;
    if (size != 0)
        v.bytes.assign(data, data + size);
    return SetValue(key, name, v);
}

std::vector<std::string> Registry::ValueNames(std::string_view key) const
{
    std::vector<std::string> names;
    std::lock_guard<std::mutex> lock(m_mutex);
    auto k = m_keys.find(Fold(NormalizeKey(key)));
    if (k != m_keys.end())
        for (const auto& [folded, v] : k->second.values)
            names.push_back(v.name);
    return names;
}

std::string Registry::Serialize() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return SerializeKeys(m_keys);
}

std::string Registry::DefaultUserPath() { return homeBased("XDG_CONFIG_HOME", ".config") + "/zeloraTALK/registry.ini"; }

std::string Registry::DefaultMachinePath()
{
    const char* file = std::getenv("ZELORA_HKLM_FILE");
    if (file != nullptr && file[0] != '\0')
        return file;
    return "/etc/zeloraTALK/registry.ini";
}

Registry& Registry::CurrentUser()
{
    // Function statics: usable from other files' static initialisers.
    static Registry registry;
    static std::once_flag once;
    std::call_once(once, [] { registry.Open(DefaultUserPath(), false); });
    return registry;
}

Registry& Registry::LocalMachine()
{
    static Registry registry;
    static std::once_flag once;
    std::call_once(once, [] { registry.Open(DefaultMachinePath(), true); });
    return registry;
}

void Registry::ReopenDefaults()
{
    CurrentUser().Open(DefaultUserPath(), false);
    LocalMachine().Open(DefaultMachinePath(), true);
}

} // namespace zelora
