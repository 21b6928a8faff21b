#include "platform/RemovableDrive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "SysBlockFixture.h"
#include "TempDir.h"

using zelora::RemovableDrive;
using Kind = RemovableDrive::Kind;

// Every kind of drive in one tree: a fixed USB disk (portable), a USB flash drive that
// reports itself removable, a SATA disk, and partitions that must be judged by their disk.
TEST(RemovableDrive, KindsOfDiskAndTheirPartitions)
{
    TempDir sys;
    AddSysDisk(sys.Path(), kUsbBus, "sdb", 8, 16, false, 2);
    AddSysDisk(sys.Path(), "pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/host7/target7:0:0/7:0:0:0", "sdc", 8, 32, true, 1);
    AddSysDisk(sys.Path(), kSataBus, "sda", 8, 0, false, 3);
    AddSysDisk(sys.Path(), "virtual", "zram0", 253, 0, false, 0);
    const std::string root = sys.Path().string();

    EXPECT_EQ(RemovableDrive::ForDevice(8, 16, root), Kind::FixedUsb);
    EXPECT_EQ(RemovableDrive::ForDevice(8, 18, root), Kind::FixedUsb); // second partition: its disk's kind
    EXPECT_EQ(RemovableDrive::ForDevice(8, 33, root), Kind::RemovableUsb);
    EXPECT_EQ(RemovableDrive::ForDevice(8, 2, root), Kind::Other);
    EXPECT_EQ(RemovableDrive::ForDevice(253, 0, root), Kind::Other);
    EXPECT_EQ(RemovableDrive::ForDevice(9, 9, root), Kind::Unknown);
    EXPECT_TRUE(RemovableDrive::IsPortable(RemovableDrive::ForDevice(8, 17, root)));
    EXPECT_FALSE(RemovableDrive::IsPortable(RemovableDrive::ForDevice(8, 33, root)));
    EXPECT_FALSE(RemovableDrive::IsPortable(RemovableDrive::ForDevice(8, 1, root)));

    // A file is judged by the device it lives on: put that device's number into the tree.
    TempDir folder;
    const std::string file = folder.File("zeloraTALK");
    TempDir::Write(file, "x");
    struct stat st { };
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    TempDir sys2;
    AddSysDisk(sys2.Path(), kUsbBus, "sdd", major(st.st_dev), minor(st.st_dev), false, 0);
    EXPECT_EQ(RemovableDrive::ForFile(file, sys2.Path().string()), Kind::FixedUsb);
    EXPECT_EQ(RemovableDrive::ForFile(folder.File("missing"), sys2.Path().string()), Kind::Unknown);
}
