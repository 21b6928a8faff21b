#pragma once
// A test's copy of the shape of /sys for block devices: devices/<bus path>/block/<disk>
// with its removable flag, partitions inside it, and dev/block/M:m links to both.
#include <filesystem>
#include <fstream>
#include <string>

inline void AddSysDisk(const std::filesystem::path& root, const std::string& busPath, const std::string& disk,
                       unsigned major, unsigned firstMinor, bool removable, int partitions)
{
    namespace fs = std::filesystem;
    const fs::path device = root / "devices" / busPath / "block" / disk;
    fs::create_directories(device);
    std::ofstream(device / "removable") << (removable ? "1\n" : "0\n");
    fs::create_directories(root / "dev" / "block");
    auto link = [&](const fs::path& target, unsigned minor) {
        fs::create_symlink(fs::path("../..") / fs::relative(target, root),
                           root / "dev" / "block" / (std::to_string(major) + ":" + std::to_string(minor)));
    };
    link(device, firstMinor);
    for (int i = 1; i <= partitions; ++i) {
        const fs::path part = device / (disk + std::to_string(i));
        fs::create_directories(part);
        std::ofstream(part / "partition") << i << "\n";
        link(part, firstMinor + static_cast<unsigned>(i));
    }
}

// The bus paths of the kinds of disk a program can sit on.
inline const char* kUsbBus = "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0";
inline const char* kSataBus = "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0";
