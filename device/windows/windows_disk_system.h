// Windows disks: the present disk device interfaces that SetupAPI lists, spoken to through the
// disk driver's S.M.A.R.T. control codes; after them, the drives on the SATA ports of RAID
// controllers that answer CSMI.
#pragma once

#include <vector>

#include "device/disk_system.h"
#include "device/windows/csmi_disk.h"

namespace trelmoss {

class WindowsDiskSystem final : public DiskSystem {
 public:
  std::unique_ptr<DiskList> ListDisks() override;
  std::unique_ptr<DiskHandle> Open(const std::string& path, int& error) override;

 private:
  std::vector<CsmiListedPort> csmiPorts_;  // as the last listing found them
};

}  // namespace trelmoss
