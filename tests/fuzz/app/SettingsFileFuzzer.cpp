// The enciphered settings file. The first byte chooses what the rest is: the file's bytes
// as they lie on the drive, or the plain text that gets enciphered into a well-formed file
// (otherwise the cipher would keep every input away from the tag reader). Whatever reads
// must save and read back to the same values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "app/CEncryptDecrypt.h"
#include "app/MXFileHelper.h"
#include "platform/HexString.h"

using fuzzsupport::Check;

namespace {

void Quiet(const char*, bool) { }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool quiet = [] {
        MXFileHelper::SetMessageBoxHandler(Quiet);
        return true;
    }();
    (void)quiet;
    if (size < 1)
        return 0;
    const bool enciphered = (data[0] & 1) != 0;
    ++data;
    --size;
    const auto& scratch = fuzzsupport::Scratch::Get();
    scratch.Clear();
    std::string path;
    if (enciphered) {
        std::string_view plain(reinterpret_cast<const char*>(data), size);
        std::vector<std::uint8_t> cipher;
        CEncryptDecrypt coder;
        if (coder.Encrypt(plain, CEncryptDecrypt::kSettingsFileKey, cipher) < 0)
            return 0;
        path = scratch.Write(MXFileHelper::kFileName, zelora::MakeHexString(cipher));
    } else {
        path = scratch.Write(MXFileHelper::kFileName, data, size);
    }

    MXFileHelper helper("sip.invalid", "tunnel.invalid");
    int rc = helper.ReadSettingsFile(path);
    Check(rc == MXFileHelper::kOk || rc == MXFileHelper::kBadHex || rc == MXFileHelper::kParseFailed ||
          (rc >= -3 && rc <= -1));
    for (const std::string& tag : MXFileHelper::TagNames()) {
        std::string value;
        Check(helper.GetValueText(tag, value) && value.size() <= MXFileHelper::kMaxValue + 11);
    }
    if (rc != MXFileHelper::kOk)
        return 0;

    const std::string copy = scratch.PathOf("copy.ini");
    int saved = helper.WriteSettingsFile(copy);
    Check(saved == MXFileHelper::kOk || saved == MXFileHelper::kUnsafeValue);
    if (saved != MXFileHelper::kOk)
        return 0;
    MXFileHelper back("sip.invalid", "tunnel.invalid");
    Check(back.ReadSettingsFile(copy) == MXFileHelper::kOk);
    for (const std::string& tag : MXFileHelper::TagNames()) {
        std::string a, b;
        Check(helper.GetValueText(tag, a) && back.GetValueText(tag, b) && a == b);
    }
    return 0;
}
