#include "app/platform.h"

#include <windows.h>

#include <vector>

#include "device/windows/windows_disk_system.h"

namespace trelmoss {

void PrepareProcess() {}  // a closed pipe only fails the write; nothing to guard against

// GetModuleFileNameA cuts a path that does not fit and answers with the buffer's size, so the
// buffer grows until the whole path and its NUL fit.
std::string ExecutablePath() {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return std::string(path.data(), length);
    if (path.size() >= 0x8000) return std::string(path.data(), length);  // the longest path
    path.resize(path.size() * 2);
  }
}

std::unique_ptr<DiskSystem> MakeDiskSystem() { return std::make_unique<WindowsDiskSystem>(); }

}  // namespace trelmoss
