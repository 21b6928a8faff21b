#include "platform/RemovableDrive.h"

#include "platform/PlatformLog.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>

namespace zelora {
namespace {

namespace fs = std::filesystem;

// The device's path under devices/ names every bus it hangs from: "usb1", "usb2", ...
bool onUsbBus(const fs::path& device)
{
    for (const fs::path& part : device) {
        const std::string name = part.string();
        if (name.size() > 3 && name.compare(0, 3, "usb") == 0 && name[3] >= '0' && name[3] <= '9')
            return true;
    }
    return false;
}

} // namespace

RemovableDrive::Kind RemovableDrive::ForDevice(unsigned major, unsigned minor, const std::string& sysRoot)
{
    std::error_code ec;
    const fs::path link = fs::path(sysRoot) / "dev" / "block" / (std::to_string(major) + ":" + std::to_string(minor));
    fs::path device = fs::canonical(link, ec);
    if (ec)
        return Kind::Unknown;
    // A partition sits in the folder of its disk, which carries the removable flag.
    if (fs::exists(device / "partition", ec))
        device = device.parent_path();
    std::ifstream flag(device / "removable");
    int removable = 0;
    if (!(flag >> removable)) {
        PLATFORM_LOG(2, "No removable flag for block device %u:%u", major, minor);
        return Kind::Unknown;
    }
    if (!onUsbBus(device))
        return Kind::Other;
    return removable != 0 ? Kind::RemovableUsb : Kind::FixedUsb;
}

RemovableDrive::Kind RemovableDrive::ForFile(const std::string& path, const std::string& sysRoot)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0)
        return Kind::Unknown;
    return ForDevice(major(st.st_dev), minor(st.st_dev), sysRoot);
}

} // namespace zelora
