// Any bytes as a profile (INI) file: whatever loads reads the same after one key was
// written, so the presence settings and the deployment values never lose a neighbour.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "platform/ProfileFile.h"

using fuzzsupport::Check;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries Contents(const zelora::ProfileFile& file)
{
    Entries out;
    for (const std::string& section : file.Sections())
        for (const std::string& key : file.Keys(section)) {
            // Every listed key is there to read (a sentinel default could be a value of the file).
            Check(file.HasKey(section, key));
            out.emplace_back(section + "\n" + key, file.GetString(section, key, ""));
        }
    return out;
}

// Without the written key (under whatever case the file already gave it), in name order.
Entries WithoutProbe(Entries entries)
{
    std::erase_if(entries, [](const auto& e) {
        std::string folded = e.first;
        for (char& c : folded)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return folded == "fuzzsection\nfuzzkey";
    });
    // Keys before any section and those of "[]" are one section, written first on a save.
    std::sort(entries.begin(), entries.end());
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto& scratch = fuzzsupport::Scratch::Get();
    scratch.Clear();
    const std::string path = scratch.Write("presenceSettings_1001.ini", data, size);

    zelora::ProfileFile file(path);
    int rc = file.Load();
    if (rc != 0) {
        Check(rc == -2);
        // A file that is not a profile is never rewritten from nothing.
        Check(zelora::WritePrivateProfileString("Notification", "nIsMapZeloraID", "2", path) == -1);
        std::string kept;
        Check(zelora::ReadFileContents(path, kept) == 0 && kept.size() == size);
        return 0;
    }
    const Entries before = Contents(file);
    (void)file.GetInt("Notification", "nIsMapZeloraID", 0);

    Check(file.WriteString("FuzzSection", "FuzzKey", "1") == 0);
    zelora::ProfileFile reread(path);
    Check(reread.Load() == 0);
    Check(reread.GetString("fuzzsection", "FUZZKEY", "") == "1");
    Check(WithoutProbe(Contents(reread)) == WithoutProbe(before));
    return 0;
}
