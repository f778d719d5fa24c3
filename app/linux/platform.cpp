#include "app/platform.h"

#include <unistd.h>

#include <array>

#include "device/linux/linux_disk_system.h"

namespace trelmoss {

std::string ExecutablePath() {
  std::array<char, 4096> path{};
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  return length > 0 ? std::string(path.data(), static_cast<std::size_t>(length)) : "trelmoss";
}

std::unique_ptr<DiskSystem> MakeDiskSystem() {
  return std::make_unique<LinuxDiskSystem>("/sys", "/dev");
}

}  // namespace trelmoss
