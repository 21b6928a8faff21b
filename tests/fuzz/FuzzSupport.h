#pragma once
// What the fuzz targets share: the check that ends the run on a broken property, and a
// private folder for the targets that read files (made once per process under the
// temporary directory, removed with everything in it when the process ends).
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

namespace fuzzsupport {

// A failed property aborts, so libFuzzer keeps the input as a crash.
inline void Check(bool condition)
{
    if (!condition)
        std::abort();
}

class Scratch {
public:
    static Scratch& Get()
    {
        static Scratch scratch;
        return scratch;
    }
    const std::string& Dir() const { return m_dir; }
    std::string PathOf(std::string_view name) const { return m_dir + "/" + std::string(name); }

    // Replaces the file with exactly these bytes; aborts when the folder is unusable, so a
    // broken set-up never passes for inputs that do nothing.
    std::string Write(std::string_view name, const std::uint8_t* data, std::size_t size) const
    {
        std::string path = PathOf(name);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out)
            std::abort();
        return path;
    }
    std::string Write(std::string_view name, std::string_view text) const
    {
        return Write(name, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    }
    // Empties the folder between inputs.
    void Clear() const
    {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir, ec))
            std::filesystem::remove_all(entry.path(), ec);
    }

    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

private:
    Scratch()
    {
        std::error_code ec;
        std::string pattern = (std::filesystem::temp_directory_path(ec) / "zelora-fuzz-XXXXXX").string();
        if (ec || ::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        m_dir = pattern;
    }
    ~Scratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    std::string m_dir;
};

} // namespace fuzzsupport
