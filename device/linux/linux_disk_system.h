// Linux disks: the whole disks that sysfs lists, then the disks behind MegaRAID controllers.
// ATA drives behind the kernel's SCSI-to-ATA translation take the S.M.A.R.T. commands as ATA
// PASS-THROUGH (16) through SG_IO; NVMe namespaces take the NVMe road.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "device/disk_system.h"
#include "device/scsi/usb_bridges.h"

namespace trelmoss {

class LinuxDiskSystem final : public DiskSystem {
 public:
  // `sysRoot` and `devRoot` are "/sys" and "/dev" on a real machine; tests point them at a tree
  // of their own.
  LinuxDiskSystem(std::string sysRoot, std::string devRoot, std::string procRoot = "/proc");

  std::unique_ptr<DiskList> ListDisks() override;
  std::unique_ptr<DiskHandle> Open(const std::string& path, int& error) override;

 private:
  struct ListedDisk {
    std::string path;
    std::string name;            // the kernel's
    std::string nvmeController;  // the sysfs folder with the identity texts; empty: not NVMe
    std::string genericNode;     // the SCSI generic node's path; empty: none
    BridgeTunnel tunnel = BridgeTunnel::kNone;  // the USB bridge's, by its id
    RaidPlace raid = RaidPlace::kNone;
    unsigned raidHost = 0;         // a member's: its controller's SCSI host
    std::uint16_t raidDevice = 0;  // and its device id there
  };
  // The disks behind each MegaRAID controller, after the disks the system shows; a remark when
  // the controllers cannot be asked.
  std::string ListRaidMembers(const std::vector<unsigned>& hosts);

  std::string sysRoot_;
  std::string devRoot_;
  std::string procRoot_;
  std::vector<ListedDisk> disks_;  // as last listed; a disk's number is its position here
};

// The block devices under `sysRoot`/block that are whole disks backed by a device, optical
// drives and the hidden per-path disks of a multipath NVMe namespace left out, ordered shorter
// names first and names of equal length in byte order.
std::vector<std::string> ListWholeDisks(const std::string& sysRoot);
// The id of the USB device a disk hangs from: the first folder above the disk's device that
// holds idVendor, idProduct and bcdDevice. Asked only of a disk whose device path runs through
// a USB host controller.
std::optional<UsbId> UsbIdOf(const std::string& blockDirectory);

}  // namespace trelmoss
