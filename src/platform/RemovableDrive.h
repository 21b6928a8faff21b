#pragma once
// What kind of drive holds a file, read from /sys: the settings go beside a program that
// runs from a fixed disk on the USB bus (a portable install), and into the user's registry
// file everywhere else, a removable flash drive included.
#include <string>

namespace zelora {

class RemovableDrive {
public:
    enum class Kind {
        Unknown, // no block device behind the file (tmpfs, overlay, network)
        FixedUsb, // a disk on the USB bus that does not report itself removable
        RemovableUsb, // a USB flash drive reported as removable
        Other, // any other block device (SATA, NVMe, virtio)
    };

    // The drive of the block device `major`:`minor` (a partition counts as its disk);
    // `sysRoot` is "/sys" or a test's copy of its shape.
    static Kind ForDevice(unsigned major, unsigned minor, const std::string& sysRoot = "/sys");
    // The drive that holds `path`.
    static Kind ForFile(const std::string& path, const std::string& sysRoot = "/sys");
    // The settings-from-file decision.
    static bool IsPortable(Kind kind) { return kind == Kind::FixedUsb; }
};

} // namespace zelora
