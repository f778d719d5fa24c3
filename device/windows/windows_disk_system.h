// Windows disks: the present disk device interfaces that SetupAPI lists, spoken to through the
// disk driver's S.M.A.R.T. control codes.
#pragma once

#include "device/disk_system.h"

namespace trelmoss {

class WindowsDiskSystem final : public DiskSystem {
 public:
  std::unique_ptr<DiskList> ListDisks() override;
  std::unique_ptr<DiskHandle> Open(const std::string& path, int& error) override;
};

}  // namespace trelmoss
