// Any bytes as the registry file: a file that loads writes back to a text that loads to
// the same registry, a change keeps every value that was there, and a damaged file is
// moved aside whole rather than lost.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "platform/ProfileFile.h"
#include "platform/Registry.h"

using fuzzsupport::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto& scratch = fuzzsupport::Scratch::Get();
    scratch.Clear();
    const std::string path = scratch.Write("registry.ini", data, size);
    const std::string original(reinterpret_cast<const char*>(data), size);

    zelora::Registry registry;
    int rc = registry.Open(path, false);
    if (rc == zelora::Registry::kMovedAside) {
        std::string kept;
        Check(zelora::ReadFileContents(registry.MovedAsideTo(), kept) == 0 && kept == original);
        return 0;
    }
    Check(rc == zelora::Registry::kLoaded);
    const std::string text = registry.Serialize();

    // A change is written through and must carry everything loaded with it.
    Check(registry.SetDword("Software\\zeloraTALK\\zeloraTALK\\", "FuzzProbe", 7) == 0);
    zelora::Registry again;
    Check(again.Open(path, false) == zelora::Registry::kLoaded);
    Check(again.Serialize() == registry.Serialize());
    std::uint32_t probe = 0;
    Check(again.GetDword("software\\ZELORATALK\\zeloratalk", "fuzzprobe", probe) == 0 && probe == 7);
    Check(again.DeleteValue("Software\\zeloraTALK\\zeloraTALK", "FuzzProbe") == 0);

    // Written form of what was loaded, read once more: a fixed point.
    const std::string copy = scratch.Write("copy.ini", text);
    zelora::Registry reread;
    Check(reread.Open(copy, true) == zelora::Registry::kLoaded);
    Check(reread.Serialize() == text);
    return 0;
}
