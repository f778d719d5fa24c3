#include "device/linux/linux_disk_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "device/linux/megaraid_disk.h"
#include "device/linux/nvme_disk.h"
#include "device/linux/sg_disk.h"

namespace trelmoss {
namespace {

constexpr int kScsiTypeOpticalDrive = 5;

bool Exists(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0;
}

bool IsOpticalDrive(const std::string& blockDirectory) {
  std::ifstream typeFile(blockDirectory + "/device/type");
  int type = -1;
  return typeFile >> type && type == kScsiTypeOpticalDrive;
}

// A multipath NVMe namespace shows each controller's path to it as a disk of its own
// (nvme1c0n1), hidden and without a node; the namespace itself (nvme1n1) is the one to read.
bool IsHidden(const std::string& blockDirectory) {
  std::ifstream hiddenFile(blockDirectory + "/hidden");
  int hidden = 0;
  return hiddenFile >> hidden && hidden == 1;
}

// A namespace's device is its NVMe controller, or the NVMe subsystem when controllers share it;
// the name of the device's class tells which. Never derived from the disk's name: with
// multipath its number is the subsystem's.
bool IsNvmeDevice(const std::string& blockDirectory) {
  char target[4096];
  const std::string link = blockDirectory + "/device/subsystem";
  const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
  if (length <= 0) return false;
  const std::string subsystem(target, static_cast<std::size_t>(length));
  const std::string name = subsystem.substr(subsystem.find_last_of('/') + 1);
  return name == "nvme" || name == "nvme-subsystem";
}

bool ShorterThanByteOrder(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

class LinuxDiskList final : public DiskList {
 public:
  LinuxDiskList(std::vector<std::string> paths, std::string remark)
      : paths_(std::move(paths)), remark_(std::move(remark)) {}
  InterfaceLookup Fetch(std::uint32_t index, std::string& path) override {
    if (index >= paths_.size()) return InterfaceLookup::kNoMore;
    path = paths_[index];
    return InterfaceLookup::kFound;
  }
  std::string Remark() const override { return remark_; }

 private:
  const std::vector<std::string> paths_;
  const std::string remark_;
};

// The kernel writes "/" in a block device's name as "!" in sysfs (cciss!c0d0 is
// /dev/cciss/c0d0).
std::string DeviceNodeName(std::string sysfsName) {
  std::replace(sysfsName.begin(), sysfsName.end(), '!', '/');
  return sysfsName;
}

// The disk's SCSI generic node (sysfs names it under the disk's device); empty where it has none.
std::string ScsiGenericNode(const std::string& blockDirectory, const std::string& devRoot) {
  DIR* directory = ::opendir((blockDirectory + "/device/scsi_generic").c_str());
  if (directory == nullptr) return {};
  std::string node;
  while (const dirent* entry = ::readdir(directory)) {
    if (entry->d_name[0] != '.') node = entry->d_name;
  }
  ::closedir(directory);
  return node.empty() ? node : devRoot + "/" + node;
}

// Where sysfs keeps the disk: /sys/block/NAME is a link to it, whose target names every device
// the disk hangs from (a tree laid out by hand links only the disk's device).
std::string DevicePathOf(const std::string& blockDirectory) {
  char target[4096];
  for (const std::string& link : {blockDirectory, blockDirectory + "/device"}) {
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length > 0) return {target, static_cast<std::size_t>(length)};
  }
  return {};
}

// A logical volume of a MegaRAID controller: a disk of one of its hosts on a channel of its
// volumes (the driver keeps channels 0 and 1 for the physical disks it shows as they are). The
// device path ends in the disk's SCSI address, host:channel:target:lun.
bool IsRaidVolume(const std::string& devicePath, const std::vector<unsigned>& raidHosts) {
  const std::size_t block = devicePath.rfind("/block/");
  const std::size_t start = devicePath.rfind('/', block == std::string::npos ? block : block - 1);
  unsigned host = 0;
  unsigned channel = 0;
  if (block == std::string::npos || start == std::string::npos ||
      std::sscanf(devicePath.c_str() + start + 1, "%u:%u:", &host, &channel) != 2) {
    return false;
  }
  constexpr unsigned kFirstVolumeChannel = 2;
  return channel >= kFirstVolumeChannel &&
         std::find(raidHosts.begin(), raidHosts.end(), host) != raidHosts.end();
}

// Opened without waiting for the disk, as the generic node allows, then made to wait for each
// command's answer again.
int OpenScsiGenericNode(const std::string& node) {
  if (node.empty()) return -1;
  const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

std::optional<UsbId> UsbIdOf(const std::string& blockDirectory) {
  const std::unique_ptr<char, decltype(&std::free)> resolved(
      ::realpath((blockDirectory + "/device").c_str(), nullptr), &std::free);
  if (!resolved) return std::nullopt;
  for (std::string folder = resolved.get(); folder.size() > 1;
       folder.erase(folder.find_last_of('/'))) {
    std::ifstream vendor(folder + "/idVendor");
    std::ifstream product(folder + "/idProduct");
    std::ifstream release(folder + "/bcdDevice");
    unsigned id[3] = {};
    if (vendor >> std::hex >> id[0] && product >> std::hex >> id[1] &&
        release >> std::hex >> id[2]) {
      return UsbId{static_cast<std::uint16_t>(id[0]), static_cast<std::uint16_t>(id[1]),
                   static_cast<std::uint16_t>(id[2])};
    }
  }
  return std::nullopt;
}

std::vector<std::string> ListWholeDisks(const std::string& sysRoot) {
  std::vector<std::string> names;
  const std::string blockRoot = sysRoot + "/block";
  DIR* directory = ::opendir(blockRoot.c_str());
  if (directory == nullptr) return names;
  while (const dirent* entry = ::readdir(directory)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string blockDirectory = blockRoot + "/" + name;
    // Loop, ram, zram, dm and md devices have no backing device; partitions are not listed here.
    if (!Exists(blockDirectory + "/device") || IsOpticalDrive(blockDirectory)) continue;
    if (IsHidden(blockDirectory)) continue;
    names.push_back(name);
  }
  ::closedir(directory);
  std::sort(names.begin(), names.end(), ShorterThanByteOrder);
  return names;
}

LinuxDiskSystem::LinuxDiskSystem(std::string sysRoot, std::string devRoot, std::string procRoot)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)), procRoot_(std::move(procRoot)) {}

std::unique_ptr<DiskList> LinuxDiskSystem::ListDisks() {
  if (!Exists(sysRoot_ + "/block")) return nullptr;
  disks_.clear();
  const std::vector<unsigned> raidHosts = FindMegaraidHosts(sysRoot_);
  for (const std::string& name : ListWholeDisks(sysRoot_)) {
    const std::string blockDirectory = sysRoot_ + "/block/" + name;
    const std::string controller = IsNvmeDevice(blockDirectory) ? blockDirectory + "/device" : "";
    // A disk on a USB bus hangs from a USB host controller, named "usbN" in its device path.
    const std::string devicePath = DevicePathOf(blockDirectory);
    const std::optional<UsbId> usb =
        controller.empty() && devicePath.find("/usb") != std::string::npos ? UsbIdOf(blockDirectory)
                                                                           : std::nullopt;
    disks_.push_back({devRoot_ + "/" + DeviceNodeName(name), name, controller,
                      controller.empty() ? ScsiGenericNode(blockDirectory, devRoot_) : "",
                      usb ? TunnelOf(*usb) : BridgeTunnel::kNone,
                      IsRaidVolume(devicePath, raidHosts) ? RaidPlace::kVolume : RaidPlace::kNone});
  }
  std::string remark = raidHosts.empty() ? "" : ListRaidMembers(raidHosts);
  std::vector<std::string> paths;
  for (const ListedDisk& disk : disks_) paths.push_back(disk.path);
  return std::make_unique<LinuxDiskList>(std::move(paths), std::move(remark));
}

std::string LinuxDiskSystem::ListRaidMembers(const std::vector<unsigned>& hosts) {
  int error = 0;
  const int node = OpenMegaraidNode(procRoot_, devRoot_, error);
  if (node < 0) {
    return "can't open the RAID controllers' device " + devRoot_ +
           "/megaraid_sas_ioctl_node  (Error " + std::to_string(error) +
           "): the disks behind them are not read";
  }
  std::string remark;
  for (const unsigned host : hosts) {
    const std::optional<std::vector<std::uint16_t>> members = ListMegaraidDisks(node, host, error);
    if (!members) {
      remark = "can't list the disks behind the RAID controller of SCSI host " +
               std::to_string(host) + "  (Error " + std::to_string(error) + ")";
      continue;
    }
    for (const std::uint16_t device : *members) {
      const std::string path = MegaraidPath(devRoot_, host, device);
      disks_.push_back({path, path.substr(devRoot_.size() + 1), "", "", BridgeTunnel::kNone,
                        RaidPlace::kMember, host, device});
    }
  }
  ::close(node);
  return remark;
}

// Called on the readers' threads, and may outlast the run: what it needs of the list is copied
// before it waits on the disk.
std::unique_ptr<DiskHandle> LinuxDiskSystem::Open(const std::string& path, int& error) {
  const auto listed = std::find_if(disks_.begin(), disks_.end(),
                                   [&path](const ListedDisk& disk) { return disk.path == path; });
  if (listed == disks_.end()) {
    error = ENODEV;
    return nullptr;
  }
  const ListedDisk disk = *listed;
  const auto number = static_cast<std::uint32_t>(listed - disks_.begin());
  if (disk.raid == RaidPlace::kMember) {
    const int node = OpenMegaraidNode(procRoot_, devRoot_, error);
    if (node < 0) return nullptr;
    return std::make_unique<MegaraidDisk>(node, disk.raidHost, disk.raidDevice, number, disk.name);
  }
  const int genericFd = OpenScsiGenericNode(disk.genericNode);
  if (genericFd >= 0) {
    return std::make_unique<SgDisk>(genericFd, number, disk.name, CommandSeconds(), disk.tunnel,
                                    disk.raid);
  }
  // No generic node to be had (none, the module not loaded, or not ours to open): the block
  // node, whose opening may wait for the host's error recovery.
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  if (!disk.nvmeController.empty()) {
    return std::make_unique<NvmeDisk>(fd, number, disk.name, disk.nvmeController, CommandSeconds());
  }
  return std::make_unique<SgDisk>(fd, number, disk.name, CommandSeconds(), disk.tunnel, disk.raid);
}

}  // namespace trelmoss
