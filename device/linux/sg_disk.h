// One open Linux disk, spoken to through the SG_IO ioctl. It answers the S.M.A.R.T. control
// codes by translating each request record into the SCSI command that carries it.
#pragma once

#include <cstdint>
#include <span>

#include "device/ata_pass_through.h"
#include "device/disk_system.h"

namespace trelmoss {

class SgDisk final : public DiskHandle {
 public:
  SgDisk(int fd, std::uint32_t deviceNumber) : fd_(fd), deviceNumber_(deviceNumber) {}
  ~SgDisk() override;
  SgDisk(const SgDisk&) = delete;
  SgDisk& operator=(const SgDisk&) = delete;

  bool GetDeviceNumber(std::uint32_t& number, int& error) override;
  bool Control(std::uint32_t code, std::span<const std::uint8_t> request,
               std::span<std::uint8_t> reply, int& error) override;

 private:
  bool QueryVersion(std::span<std::uint8_t> reply, int& error);
  bool IsAtaBehindTranslation(bool& isAta, int& error);
  bool SendAtaCommand(std::uint32_t code, std::span<const std::uint8_t> request,
                      std::span<std::uint8_t> reply, int& error);
  // Issues one command; false only when the ioctl itself fails (then `error` is its errno).
  bool Send(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn, ScsiOutcome& outcome,
            int& error);

  int fd_;
  std::uint32_t deviceNumber_;
  std::uint8_t sense_[32] = {};
};

}  // namespace trelmoss
