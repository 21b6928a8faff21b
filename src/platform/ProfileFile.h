#pragma once
// Private-profile (INI) files as the program used them on Windows: read a key with a
// default, write a key, delete a key or a whole section. Section and key names compare
// case-insensitively. Every change rewrites the whole file atomically.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelora {

// Replaces the file with `data` through a temporary file in the same folder, flushed to
// disk before the rename. 0, or -1 (the old file is then untouched).
int ReplaceFileContents(const std::string& path, std::string_view data);
// Whole file into `out`. 0, -1 when missing, -2 when unreadable.
int ReadFileContents(const std::string& path, std::string& out);

class ProfileFile {
public:
    explicit ProfileFile(std::string path);
    ~ProfileFile();
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    // 0 (a missing file is an empty profile), -1 unreadable, -2 not a profile file.
    int Load();
    const std::string& Path() const { return m_path; }

    std::string GetString(std::string_view section, std::string_view key, std::string_view def) const;
    int GetInt(std::string_view section, std::string_view key, int def) const;
    bool HasKey(std::string_view section, std::string_view key) const;
    std::vector<std::string> Sections() const;
    std::vector<std::string> Keys(std::string_view section) const;

    // Each change is written to disk at once: 0, or -1 (memory and file keep the old state).
    int WriteString(std::string_view section, std::string_view key, std::string_view value);
    int DeleteKey(std::string_view section, std::string_view key);
    int DeleteSection(std::string_view section);

private:
    struct Impl;
    int Save();
    std::string m_path;
    std::unique_ptr<Impl> m_impl;
};

// The Windows call shapes: each opens the file, acts and closes it.
std::string GetPrivateProfileString(std::string_view section, std::string_view key, std::string_view def,
                                    const std::string& path);
int GetPrivateProfileInt(std::string_view section, std::string_view key, int def, const std::string& path);
// 0, or -1. An empty key name deletes the section.
int WritePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                              const std::string& path);
int DeletePrivateProfileSection(std::string_view section, const std::string& path);

} // namespace zelora
