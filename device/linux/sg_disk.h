// One open Linux disk that takes the ATA road, spoken to through the SG_IO ioctl: each ATA
// command travels as ATA PASS-THROUGH (16).
#pragma once

#include <cstdint>
#include <span>

#include "device/disk_system.h"
#include "device/linux/ata_pass_through.h"

namespace trelmoss {

class SgDisk final : public DiskHandle {
 public:
  SgDisk(int fd, std::uint32_t deviceNumber, std::string name)
      : fd_(fd), name_(std::move(name)), deviceNumber_(deviceNumber) {}
  ~SgDisk() override;
  SgDisk(const SgDisk&) = delete;
  SgDisk& operator=(const SgDisk&) = delete;

  bool GetDeviceNumber(std::uint32_t& number, int& error) override;
  std::string Name() const override { return name_; }
  DiskBus Bus() override { return DiskBus::kAta; }
  // S.M.A.R.T. commands pass when an ATA drive sits behind the kernel's SCSI-to-ATA translation.
  bool QuerySmartSupport(bool& supported, int& error) override;
  bool SendAtaCommand(const AtaCommand& command, SectorBuffer sector, int& error) override;
  bool AskAtaRegisters(const AtaCommand& command, AtaRegisters& returned, int& error) override;
  bool ReadNvmeIdentity(NvmeIdentity& identity, int& error) override;
  bool ReadNvmeHealthLog(NvmeHealthLog log, int& error) override;

 private:
  bool IsAtaBehindTranslation(bool& isAta, int& error);
  // Issues one command; false only when the ioctl itself fails (then `error` is its errno).
  bool Send(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn, ScsiOutcome& outcome,
            int& error);

  int fd_;
  std::string name_;
  std::uint32_t deviceNumber_;
  std::uint8_t sense_[32] = {};
};

}  // namespace trelmoss
