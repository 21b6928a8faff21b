#pragma once
// The registry as the program knows it from Windows: keys holding typed values
// (string, DWORD, binary). HKCU lives in $XDG_CONFIG_HOME/zeloraTALK/registry.ini
// (~/.config when unset); HKLM is read-only, from /etc/zeloraTALK/registry.ini or
// the file named by ZELORA_HKLM_FILE.
//
// The file is read at Open; every change is written through at once with an atomic
// replace (temporary file, then rename), so a crash never leaves half a file. Inside a
// Batch the changes are held in memory (reads see them) and written once, atomically, when
// the outermost batch ends; a crash before then leaves the file as it was. Other
// processes of the same user write the same file: each change takes the file lock,
// re-reads what another process wrote since, and applies itself on top of that.
// A file that cannot be parsed is moved aside to registry.ini.corrupt (or
// registry.ini.corrupt.N when that name is taken), reported, and the registry
// starts empty. Key paths and value names compare case-insensitively.
// All operations are safe to call from several threads.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zelora {

enum class RegType { String, Dword, Binary };

struct RegValue {
    RegType type = RegType::String;
    std::string text; // String
    std::uint32_t dword = 0; // Dword
    std::vector<std::uint8_t> bytes; // Binary
};

class Registry {
public:
    // Results of Open/Load.
    static constexpr int kLoaded = 0; // file read (or absent: empty registry)
    static constexpr int kMovedAside = 1; // damaged file moved aside, registry empty
    static constexpr int kDamaged = 2; // damaged read-only file ignored, registry empty
    static constexpr int kUnreadable = -1; // file exists but cannot be read or moved

    // Results of reads: 0, kMissing for a missing key or value, kWrongType.
    static constexpr int kMissing = -1;
    static constexpr int kWrongType = -2;

    // Defers the writes of every thread to one write at the end of the outermost batch. At
    // that write the changes are applied again on top of what other processes wrote since,
    // so theirs are kept. Keep a batch around local work only: writes wait for its end.
    class Batch {
    public:
        explicit Batch(Registry& registry);
        ~Batch(); // commits when still open
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        // Ends the batch now: 0, or -1 when the file could not be written (the values held
        // then go back to what the file holds). Only the outermost batch writes.
        int Commit();

    private:
        Registry* m_registry;
    };

    Registry() = default;
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // Binds to a file and loads it (replacing what was held). Read-only registries refuse writes.
    int Open(const std::string& path, bool readOnly);
    const std::string& Path() const { return m_path; }
    bool IsReadOnly() const { return m_readOnly; }
    // Where the damaged file went at the last Open (empty when nothing was moved).
    std::string MovedAsideTo() const;

    bool KeyExists(std::string_view key) const;
    // 0, or -1 when read-only or the file cannot be written.
    int CreateKey(std::string_view key);
    int DeleteKey(std::string_view key); // the key and its subkeys; 0 also when absent
    int DeleteValue(std::string_view key, std::string_view name);

    int GetValue(std::string_view key, std::string_view name, RegValue& out) const;
    int GetString(std::string_view key, std::string_view name, std::string& out) const;
    int GetDword(std::string_view key, std::string_view name, std::uint32_t& out) const;
    int GetBinary(std::string_view key, std::string_view name, std::vector<std::uint8_t>& out) const;

    // Creates the key when needed. 0, or -1 (read-only, or the file could not be written;
    // the value held in memory is then left as it was).
    int SetValue(std::string_view key, std::string_view name, const RegValue& value);
    int SetString(std::string_view key, std::string_view name, std::string_view text);
    int SetDword(std::string_view key, std::string_view name, std::uint32_t value);
    int SetBinary(std::string_view key, std::string_view name, const std::uint8_t* data, std::size_t size);

    std::vector<std::string> ValueNames(std::string_view key) const;

    // The process-wide registries, opened on first use from the environment.
    static Registry& CurrentUser();
    static Registry& LocalMachine();
    // Reopens both from the current environment (tests that point XDG_CONFIG_HOME elsewhere).
    static void ReopenDefaults();
    static std::string DefaultUserPath();
    static std::string DefaultMachinePath();

    // Text form of the file, as written (exposed for tools and tests).
    std::string Serialize() const;

private:
    struct Value {
        std::string name; // as first written
        RegValue value;
    };
    struct Key {
        std::string path; // as first written
        std::map<std::string, Value> values; // by folded name
    };
    using KeyMap = std::map<std::string, Key>; // by folded path

    static std::string Fold(std::string_view text);
    static std::string NormalizeKey(std::string_view key);
    static int Parse(std::string_view text, KeyMap& out);
    static std::string SerializeKeys(const KeyMap& keys);
    int Persist(const KeyMap& keys); // caller holds m_mutex
    // Reads the file as another process may have left it into `into`; caller holds m_mutex and
    // the file lock. Read each time: a replaced file can have the old one's inode, size and
    // (coarse) time, so no cheaper test tells a change.
    bool Reload(KeyMap& into);
    // Runs change(copy of the keys) under both locks: negative fails, kUnchanged writes
    // nothing, kChanged writes the copy and keeps it.
    static constexpr int kUnchanged = 0;
    static constexpr int kChanged = 1;
    using Change = std::function<int(KeyMap&)>;
    int Mutate(Change change);
    void BeginBatch();
    int EndBatch();
    // Writes the batch's changes on top of the file; caller holds m_mutex.
    int FlushBatch();
    void EnsureFolder() const;

    mutable std::mutex m_mutex;
    std::string m_path;
    std::string m_movedTo;
    bool m_readOnly = false;
    KeyMap m_keys;
    int m_batchDepth = 0;
    KeyMap m_beforeBatch; // what the file held when the batch began
    std::vector<Change> m_pending; // the batch's changes, in order
};

} // namespace zelora
