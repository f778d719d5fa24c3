#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "device/linux/linux_disk_system.h"
#include "device/linux/sg_disk.h"
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
  // An NVMe namespace whose device is a controller ("nvme" class) or a subsystem
  // ("nvme-subsystem"), with the identity texts the kernel prints; a hidden per-path disk has
  // no node.
  void AddNvme(const std::string& name, const std::string& deviceClass, bool hidden = false) {
    const std::string block = root.File("sys/block/" + name);
    const std::string device = root.File("sys/devices/" + deviceClass + "-of-" + name);
    fs::create_directories(block);
    fs::create_directories(device);
    fs::create_directories(root.File("sys/class/" + deviceClass));
    fs::create_directory_symlink("../../class/" + deviceClass, device + "/subsystem");
    WriteFile(device + "/model", "QEMU NVMe Ctrl                          \n");
    WriteFile(device + "/serial", "N-" + name + "                \n");
    WriteFile(device + "/firmware_rev", "7.2.22  \n");
    fs::create_directory_symlink(device, block + "/device");
    WriteFile(block + "/hidden", hidden ? "1\n" : "0\n");
    if (!hidden) WriteFile(root.File("dev/" + name), "");
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
  EXPECT_EQ(table.Drive(1).Model(), "");
}

// A USB disk's bridge is known by the USB device it hangs from, some folders up: one whose id
// names a tunnel takes it at once, without a command; any other takes the SCSI road.
TEST(LinuxDiskSystem, UsbDisksTakeTheTunnelTheirBridgesIdNames) {
  FakeSysfs sysfs;
  for (const auto& [name, product] : {std::pair{"sda", "2362"}, {"sdb", "55aa"}}) {
    const std::string usb = sysfs.root.File(std::string("sys/devices/usb1/1-") + name);
    const std::string device = usb + "/1-1:1.0/host0/target0:0:0/0:0:0:0";
    fs::create_directories(device);
    WriteFile(usb + "/idVendor", "174c\n");
    WriteFile(usb + "/idProduct", std::string(product) + "\n");
    WriteFile(usb + "/bcdDevice", "0100\n");
    fs::create_directories(sysfs.root.File(std::string("sys/block/") + name));
    fs::create_directory_symlink(device,
                                 sysfs.root.File(std::string("sys/block/") + name + "/device"));
    WriteFile(sysfs.root.File(std::string("dev/") + name), "");
  }
  const auto id = UsbIdOf(sysfs.root.File("sys/block/sda"));
  ASSERT_TRUE(id);
  EXPECT_EQ(std::vector<int>({id->vendor, id->product, *id->release}),
            std::vector<int>({0x174C, 0x2362, 0x0100}));
  LinuxDiskSystem disks = sysfs.System();
  ASSERT_TRUE(disks.ListDisks());
  int error = 0;
  EXPECT_EQ(disks.Open(sysfs.root.File("dev/sda"), error)->Bus(), DiskBus::kNvme);
  EXPECT_EQ(disks.Open(sysfs.root.File("dev/sdb"), error)->Bus(), DiskBus::kAta);  // no SG_IO
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

// A multipath namespace is read once, at its own node, never through its hidden paths; NVMe
// identity comes from sysfs, and a node that takes no admin command fails only the health log.
TEST(LinuxDiskSystem, NvmeNamespacesTakeTheNvmeRoadAndHiddenPathsAreLeftOut) {
  FakeSysfs sysfs;
  sysfs.AddNvme("nvme0n1", "nvme");
  sysfs.AddNvme("nvme1n1", "nvme-subsystem");
  sysfs.AddNvme("nvme1c0n1", "nvme", true);
  sysfs.AddNvme("nvme1c1n1", "nvme", true);
  sysfs.AddDisk("sda");
  EXPECT_EQ(ListWholeDisks(sysfs.root.File("sys")),
            (std::vector<std::string>{"sda", "nvme0n1", "nvme1n1"}));
  LinuxDiskSystem disks = sysfs.System();
  Console console;
  DriveTable table;
  ASSERT_TRUE(table.EnumerateDrives(disks, console));
  EXPECT_EQ(console.Text(), "");
  ASSERT_EQ(table.DriveCount(), 3);
  EXPECT_EQ(table.Drive(0).errorText, "");  // a plain file takes no SG_IO: no ATA drive
  for (const std::size_t slot : {1u, 2u}) {
    const DriveRecord& drive = table.Drive(slot);
    EXPECT_EQ(drive.Model(), "QEMU NVMe Ctrl");
    EXPECT_EQ(drive.Serial(), "N-" + drive.devicePath.substr(drive.devicePath.size() - 7));
    EXPECT_EQ(drive.Firmware(), "7.2.22");
    EXPECT_EQ(drive.errorText, "Error 25 reading detailed SMART data");  // ENOTTY
  }
}

// How SG_IO ends a command the kernel gave up on, as each driver shapes it: a timeout is known by
// its codes, or by a failure that took the command's whole time; a refusal at once is none.
TEST(LinuxDiskSystem, TimedOutCommandsAreKnownByTheirCodesOrTheirTime) {
  const struct {
    unsigned char status;
    unsigned short host, driver;
    unsigned duration;
    bool timedOut;
  } shapes[] = {
      {0, 0x03, 0, 30010, true},     // the midlayer: DID_TIME_OUT
      {0, 0, 0x06, 30010, true},     // DRIVER_TIMEOUT
      {0x02, 0, 0x08, 30000, true},  // libata: CHECK CONDITION, ABORTED COMMAND, after its time
      {0, 0x05, 0, 31500, true},     // DID_ABORT after its time
      {0, 0x05, 0, 12, false},       // DID_ABORT at once
      {0x02, 0, 0x08, 3, false},     // ABORTED COMMAND at once: the drive refuses the command
      {0, 0, 0, 30000, false},       // answered, slowly
  };
  for (const auto& shape : shapes) {
    sg_io_hdr_t header{};
    header.timeout = 30000;
    header.status = shape.status;
    header.host_status = shape.host;
    header.driver_status = shape.driver;
    header.duration = shape.duration;
    EXPECT_EQ(EndedByTimeout(header), shape.timedOut) << shape.host << " " << shape.duration;
  }
}

TEST(LinuxDiskSystem, MissingSysfsMeansTheListCannotBeHad) {
  LinuxDiskSystem disks("/nonexistent/sys", "/dev");
  EXPECT_EQ(disks.ListDisks(), nullptr);
}

}  // namespace
}  // namespace trelmoss
