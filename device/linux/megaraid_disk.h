// The physical disks behind a MegaRAID controller (megaraid_sas), which the system shows only as
// the logical volumes it makes of them: listed and read through the controller's firmware
// interface, on the driver's management device, one pass-through frame a SCSI command.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/scsi/scsi_carried_disk.h"

namespace trelmoss {

// The SCSI host numbers of the controllers the megaraid_sas driver runs, in the order sysfs
// gives them, lowest first.
std::vector<unsigned> FindMegaraidHosts(const std::string& sysRoot);

// Opens the driver's management device: /dev/megaraid_sas_ioctl_node, which the program makes
// (as root) from the major /proc/devices gives "megaraid_sas_ioctl" when no one has yet; -1
// with `error` set when it cannot be had (without CAP_SYS_ADMIN: EACCES or EPERM).
int OpenMegaraidNode(const std::string& procRoot, const std::string& devRoot, int& error);

// The device ids of the disks behind the controller of SCSI host `host`; none when it cannot be
// asked, with `error` set.
std::optional<std::vector<std::uint16_t>> ListMegaraidDisks(int node, unsigned host, int& error);

// "/dev/bus/0 megaraid,5": the disk's path in the report and its name in the metrics, which its
// users know from other tools.
std::string MegaraidPath(const std::string& devRoot, unsigned host, std::uint16_t deviceId);

class MegaraidDisk final : public ScsiCarriedDisk {
 public:
  // Takes `node`, a management device of its own, and closes it.
  MegaraidDisk(int node, unsigned host, std::uint16_t deviceId, std::uint32_t deviceNumber,
               std::string name);
  ~MegaraidDisk() override;
  MegaraidDisk(const MegaraidDisk&) = delete;
  MegaraidDisk& operator=(const MegaraidDisk&) = delete;

  bool GetDeviceNumber(std::uint32_t& number, int& error) override;
  std::string Name() const override { return name_; }
  RaidPlace Raid() const override { return RaidPlace::kMember; }
  bool SendScsiCommand(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn,
                       ScsiOutcome& outcome, int& error) override;
  // The controller carries no command that sends data to a disk from here.
  bool SendScsiDataOut(std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> dataOut,
                       ScsiOutcome& outcome, int& error) override;
  bool MeansTimeout(int error) const override;

 private:
  int node_;
  unsigned host_;
  std::uint16_t deviceId_;
  std::uint32_t deviceNumber_;
  std::string name_;
  std::uint8_t sense_[32] = {};
};

}  // namespace trelmoss
