#include "platform/ProfileFile.h"

#include "platform/PlatformLog.h"

// Narrow text only: bytes pass through as they are (UTF-8 stays UTF-8). The templates are
// instantiated here, so no converter library is needed.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace zelora {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// A byte order mark that begins a line (files put together, or saved by an editor that marks
// each part) is not part of the line: SimpleIni skips one only at the very start, and a key
// read with the mark in front was written first on a save and lost on the next read.
void StripLineStartMarks(std::string& text)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        // Blanks and marks in any order: SimpleIni skips the blanks, so no mark may follow them.
        std::size_t first = text.find_first_not_of(" \t", pos);
        while (first != std::string::npos && text.compare(first, kByteOrderMark.size(), kByteOrderMark) == 0) {
            text.erase(first, kByteOrderMark.size());
            first = text.find_first_not_of(" \t", first);
        }
        const std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            break;
        pos = end + 1;
    }
}

// A section line ends at its line end, as the Windows profile functions read it. SimpleIni
// would carry the name on to the next "]" in a later line, and write that name back as
// lines of its own, so that every save moved the section's keys somewhere else.
void CloseOpenSectionLines(std::string& text)
{
    // SimpleIni ends a line at CR as well as at LF.
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        std::size_t first = text.find_first_not_of(" \t", pos);
        if (first < end && text[first] == '[' && text.find(']', first) >= end) {
            text.insert(end, 1, ']');
            ++end;
        }
        pos = end + 1;
    }
}

} // namespace

int ReplaceFileContents(const std::string& path, std::string_view data)
{
    static std::atomic<unsigned> counter{0};
    std::string temp = path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1));
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        PLATFORM_LOG(1, "Unable to create %s: %s", temp.c_str(), std::strerror(errno));
        return -1;
    }
    const char* p = data.data();
    std::size_t left = data.size();
    bool ok = true;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    // The data must be on disk before the rename makes it the file.
    if (ok && ::fsync(fd) != 0)
        ok = false;
    if (::close(fd) != 0)
        ok = false;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0)
        ok = false;
    if (!ok) {
        PLATFORM_LOG(1, "Unable to write %s: %s", path.c_str(), std::strerror(errno));
        ::unlink(temp.c_str());
        return -1;
    }
    // Make the rename itself durable; a failure here leaves a complete file either way.
    std::string folder = path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/') + 1);
    int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return 0;
}

int ReadFileContents(const std::string& path, std::string& out)
{
    out.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return errno == ENOENT ? -1 : -2;
    char buffer[8192];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        out.append(buffer, n);
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        out.clear();
        return -2;
    }
    return 0;
}

// CSimpleIniA compares section and key names without regard to case.
struct ProfileFile::Impl {
    CSimpleIniA ini{false, false, false};
};

ProfileFile::ProfileFile(std::string path) : m_path(std::move(path)), m_impl(std::make_unique<Impl>()) { }

ProfileFile::~ProfileFile() = default;

int ProfileFile::Load()
{
    m_impl->ini.Reset();
    std::string text;
    int rc = ReadFileContents(m_path, text);
    if (rc == -1)
        return 0;
    if (rc < 0)
        return -1;
    StripLineStartMarks(text);
    CloseOpenSectionLines(text);
    if (text.find('\0') != std::string::npos || m_impl->ini.LoadData(text) < 0) {
        m_impl->ini.Reset();
        PLATFORM_LOG(1, "Profile file %s is not readable as a profile", m_path.c_str());
        return -2;
    }
    return 0;
}

std::string ProfileFile::GetString(std::string_view section, std::string_view key, std::string_view def) const
{
    const char* v = m_impl->ini.GetValue(std::string(section).c_str(), std::string(key).c_str(), nullptr);
    return v != nullptr ? std::string(v) : std::string(def);
}

int ProfileFile::GetInt(std::string_view section, std::string_view key, int def) const
{
    const char* v = m_impl->ini.GetValue(std::string(section).c_str(), std::string(key).c_str(), nullptr);
    if (v == nullptr)
        return def;
    // Like the Windows call: leading digits count, anything else gives 0.
    return static_cast<int>(std::strtol(v, nullptr, 10));
}

bool ProfileFile::HasKey(std::string_view section, std::string_view key) const
{
    return m_impl->ini.GetValue(std::string(section).c_str(), std::string(key).c_str(), nullptr) != nullptr;
}

std::vector<std::string> ProfileFile::Sections() const
{
    CSimpleIniA::TNamesDepend names;
    m_impl->ini.GetAllSections(names);
    names.sort(CSimpleIniA::Entry::LoadOrder());
    std::vector<std::string> out;
    for (const auto& n : names)
        out.emplace_back(n.pItem);
    return out;
}

std::vector<std::string> ProfileFile::Keys(std::string_view section) const
{
    CSimpleIniA::TNamesDepend names;
    m_impl->ini.GetAllKeys(std::string(section).c_str(), names);
    names.sort(CSimpleIniA::Entry::LoadOrder());
    std::vector<std::string> out;
    for (const auto& n : names)
        out.emplace_back(n.pItem);
    return out;
}

int ProfileFile::Save()
{
    std::string text;
    if (m_impl->ini.Save(text) < 0 || ReplaceFileContents(m_path, text) != 0) {
        // Keep memory in step with the file that is still on disk.
        Load();
        return -1;
    }
    return 0;
}

int ProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    if (section.empty() || key.empty())
        return -1;
    // A line break inside a value would become a line of its own on the next read.
    if (value.find_first_of("\r\n") != std::string_view::npos || key.find_first_of("\r\n=") != std::string_view::npos ||
        section.find_first_of("\r\n]") != std::string_view::npos)
        return -1;
    if (m_impl->ini.SetValue(std::string(section).c_str(), std::string(key).c_str(), std::string(value).c_str()) < 0)
        return -1;
    return Save();
}

int ProfileFile::DeleteKey(std::string_view section, std::string_view key)
{
    if (!m_impl->ini.Delete(std::string(section).c_str(), std::string(key).c_str(), false))
        return 0;
    return Save();
}

int ProfileFile::DeleteSection(std::string_view section)
{
    if (!m_impl->ini.Delete(std::string(section).c_str(), nullptr))
        return 0;
    return Save();
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key, std::string_view def,
                                    const std::string& path)
{
    ProfileFile file(path);
    if (file.Load() != 0)
        return std::string(def);
    return file.GetString(section, key, def);
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int def, const std::string& path)
{
    ProfileFile file(path);
    if (file.Load() != 0)
        return def;
    return file.GetInt(section, key, def);
}

int WritePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                              const std::string& path)
{
    ProfileFile file(path);
    // A damaged file is not rewritten from an empty profile: that would lose it.
    if (file.Load() != 0)
        return -1;
    if (key.empty())
        return file.DeleteSection(section);
    return file.WriteString(section, key, value);
}

int DeletePrivateProfileSection(std::string_view section, const std::string& path)
{
    ProfileFile file(path);
    if (file.Load() != 0)
        return -1;
    return file.DeleteSection(section);
}

} // namespace zelora
