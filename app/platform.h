// What each platform provides to the run; implemented once per platform folder.
#pragma once

#include <memory>
#include <string>

namespace trelmoss {

class DiskSystem;

// The full path of the running executable.
std::string ExecutablePath();
// The machine's own disks.
std::unique_ptr<DiskSystem> MakeDiskSystem();

}  // namespace trelmoss
