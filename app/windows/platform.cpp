#include "app/platform.h"

#include <windows.h>

#include "device/windows/windows_disk_system.h"

namespace trelmoss {

std::string ExecutablePath() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length < MAX_PATH ? length : MAX_PATH);
}

std::unique_ptr<DiskSystem> MakeDiskSystem() { return std::make_unique<WindowsDiskSystem>(); }

}  // namespace trelmoss
