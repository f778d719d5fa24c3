// One open Linux disk spoken to through the SG_IO ioctl: it carries SCSI commands, and the road
// they decide (an ATA drive behind a SCSI-to-ATA translation, a SCSI disk, or neither) is taken
// for the rest of its reading. A RAID controller's logical volume is such a disk.
#pragma once

#include <scsi/sg.h>

#include <cstdint>
#include <optional>
#include <span>

#include "device/disk_system.h"
#include "device/scsi/scsi_carried_disk.h"

namespace trelmoss {

// Whether SG_IO's answer is that of a command the kernel gave up on after its timeout.
bool EndedByTimeout(const sg_io_hdr_t& header);

class SgDisk final : public ScsiCarriedDisk {
 public:
  // `fd` is the disk's SCSI generic node where it has one: a wait there ends when the process
  // does, which a wait on the block node never does before the command comes back.
  // A disk behind a USB bridge whose id names a tunnel takes that tunnel, and nothing else.
  SgDisk(int fd, std::uint32_t deviceNumber, std::string name, unsigned commandSeconds,
         BridgeTunnel tunnel, RaidPlace raid = RaidPlace::kNone);
  ~SgDisk() override;
  SgDisk(const SgDisk&) = delete;
  SgDisk& operator=(const SgDisk&) = delete;

  bool GetDeviceNumber(std::uint32_t& number, int& error) override;
  std::string Name() const override { return name_; }
  // Issues one command; false only when the ioctl itself fails (then `error` is its errno).
  bool SendScsiCommand(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn,
                       ScsiOutcome& outcome, int& error) override;
  bool SendScsiDataOut(std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> dataOut,
                       ScsiOutcome& outcome, int& error) override;
  // A command the SCSI layer timed out and aborted comes back as ETIMEDOUT.
  bool MeansTimeout(int error) const override;
  RaidPlace Raid() const override { return raid_; }

 private:
  bool Issue(std::span<const std::uint8_t> cdb, int direction, std::span<std::uint8_t> data,
             ScsiOutcome& outcome, int& error);

  int fd_;
  std::string name_;
  std::uint32_t deviceNumber_;
  unsigned commandMilliseconds_;
  RaidPlace raid_;
  std::uint8_t sense_[32] = {};
};

}  // namespace trelmoss
