#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "device/linux/linux_disk_system.h"
#include "device/smart_records.h"
#include "model/console.h"
#include "model/drive_table.h"
#include "tests/report_checks.h"

namespace trelmoss {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFile;

// A sysfs tree of block devices and a /dev folder of plain files standing in for the nodes.
class FakeSysfs {
 public:
  FakeSysfs() {
    fs::create_directories(root.File("sys/block"));
    fs::create_directories(root.File("sys/devices/disk"));
    fs::create_directories(root.File("dev"));
  }
  void AddDisk(const std::string& name, const std::string& scsiType = "0") {
    const std::string block = root.File("sys/block/" + name);
    fs::create_directories(block);
    const std::string device = root.File("sys/devices/disk/" + name);
    fs::create_directories(device);
    WriteFile(device + "/type", scsiType + "\n");
    fs::create_directory_symlink(device, block + "/device");
    std::string node = name;
    std::replace(node.begin(), node.end(), '!', '/');
    fs::create_directories(fs::path(root.File("dev/" + node)).parent_path());
    WriteFile(root.File("dev/" + node), "");
  }
  void AddVirtual(const std::string& name) {
    fs::create_directories(root.File("sys/block/" + name));
  }
  LinuxDiskSystem System() const { return {root.File("sys"), root.File("dev")}; }

  TempDir root;
};

TEST(LinuxDiskSystem, ListsBackedWholeDisksShorterNamesFirst) {
  FakeSysfs sysfs;
  for (const char* name : {"nvme10n1", "sdb", "vda", "sdaa", "nvme0n1", "sda"}) sysfs.AddDisk(name);
  sysfs.AddDisk("sr0", "5");  // optical
  for (const char* name : {"loop0", "ram0", "zram0", "dm-0", "md127"}) sysfs.AddVirtual(name);
  EXPECT_EQ(ListWholeDisks(sysfs.root.File("sys")),
            (std::vector<std::string>{"sda", "sdb", "vda", "sdaa", "nvme0n1", "nvme10n1"}));
}

TEST(LinuxDiskSystem, DisksWithoutPassThroughAreListedWithoutData) {
  FakeSysfs sysfs;
  sysfs.AddDisk("vdb");
  sysfs.AddDisk("vda");
  LinuxDiskSystem disks = sysfs.System();
  Console console;
  DriveTable table;
  ASSERT_TRUE(table.EnumerateDrives(disks, console));
  EXPECT_EQ(console.Text(), "");
  ASSERT_EQ(table.DriveCount(), 2);
  EXPECT_EQ(table.Drive(0).devicePath, sysfs.root.File("dev/vda"));
  EXPECT_EQ(table.Drive(1).deviceNumber, 1u);
  // A plain file takes no SG_IO: no capability, so no identity and no error.
  EXPECT_EQ(table.Drive(1).errorText, "");
  EXPECT_EQ(LoadLittleEndian32(table.Drive(1).versionReply.data() + kCapabilitiesOffset), 0u);
}

// sysfs writes the "/" of a device name as "!": the disk is opened, and reported, at its node.
TEST(LinuxDiskSystem, BangInTheSysfsNameIsASlashInTheDevicePath) {
  FakeSysfs sysfs;
  sysfs.AddDisk("cciss!c0d0");
  LinuxDiskSystem disks = sysfs.System();
  Console console;
  DriveTable table;
  ASSERT_TRUE(table.EnumerateDrives(disks, console));
  EXPECT_EQ(console.Text(), "");
  ASSERT_EQ(table.DriveCount(), 1);
  EXPECT_EQ(table.Drive(0).devicePath, sysfs.root.File("dev/cciss/c0d0"));
}

TEST(LinuxDiskSystem, UnopenableDiskIsReportedAndSkipped) {
  FakeSysfs sysfs;
  sysfs.AddDisk("sda");
  sysfs.AddDisk("sdb");
  fs::remove(sysfs.root.File("dev/sda"));
  LinuxDiskSystem disks = sysfs.System();
  Console console;
  DriveTable table;
  ASSERT_TRUE(table.EnumerateDrives(disks, console));
  EXPECT_EQ(console.Text(), "can't open device " + sysfs.root.File("dev/sda") + "  (Error 2)");
  ASSERT_EQ(table.DriveCount(), 1);
  EXPECT_EQ(table.Drive(0).deviceNumber, 1u);  // its position among the listed disks
}

TEST(LinuxDiskSystem, MissingSysfsMeansTheListCannotBeHad) {
  LinuxDiskSystem disks("/nonexistent/sys", "/dev");
  EXPECT_EQ(disks.ListDisks(), nullptr);
}

}  // namespace
}  // namespace trelmoss
