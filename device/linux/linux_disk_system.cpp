#include "device/linux/linux_disk_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

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

bool ShorterThenByteOrder(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

class LinuxDiskList final : public DiskList {
 public:
  explicit LinuxDiskList(const std::vector<std::string>& paths) : paths_(paths) {}
  InterfaceLookup Fetch(std::uint32_t index, std::string& path) override {
    if (index >= paths_.size()) return InterfaceLookup::kNoMore;
    path = paths_[index];
    return InterfaceLookup::kFound;
  }

 private:
  const std::vector<std::string>& paths_;
};

// The kernel writes "/" in a block device's name as "!" in sysfs (cciss!c0d0 is
// /dev/cciss/c0d0).
std::string DeviceNodeName(std::string sysfsName) {
  std::replace(sysfsName.begin(), sysfsName.end(), '!', '/');
  return sysfsName;
}

}  // namespace

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
    names.push_back(name);
  }
  ::closedir(directory);
  std::sort(names.begin(), names.end(), ShorterThenByteOrder);
  return names;
}

LinuxDiskSystem::LinuxDiskSystem(std::string sysRoot, std::string devRoot)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)) {}

std::unique_ptr<DiskList> LinuxDiskSystem::ListDisks() {
  if (!Exists(sysRoot_ + "/block")) return nullptr;
  paths_.clear();
  for (const std::string& name : ListWholeDisks(sysRoot_)) {
    paths_.push_back(devRoot_ + "/" + DeviceNodeName(name));
  }
  return std::make_unique<LinuxDiskList>(paths_);
}

std::unique_ptr<DiskHandle> LinuxDiskSystem::Open(const std::string& path, int& error) {
  const auto listed = std::find(paths_.begin(), paths_.end(), path);
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  if (listed == paths_.end()) {
    ::close(fd);
    error = ENODEV;
    return nullptr;
  }
  return std::make_unique<SgDisk>(fd, static_cast<std::uint32_t>(listed - paths_.begin()));
}

}  // namespace trelmoss
