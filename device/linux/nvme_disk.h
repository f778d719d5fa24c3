// One open Linux disk that is an NVMe namespace. The kernel read the controller's Identify data
// when it found the drive and shows its texts in sysfs, so the identity needs no command and no
// privilege; the health log is an admin command on the namespace node (which needs
// CAP_SYS_ADMIN).
#pragma once

#include <cstdint>
#include <string>

#include "device/disk_system.h"

namespace trelmoss {

class NvmeDisk final : public DiskHandle {
 public:
  // `controller` is the sysfs folder of the namespace's controller, or of its subsystem when
  // several controllers share the namespace: either holds the identity texts.
  NvmeDisk(int fd, std::uint32_t deviceNumber, std::string name, std::string controller,
           unsigned commandSeconds)
      : fd_(fd),
        name_(std::move(name)),
        deviceNumber_(deviceNumber),
        controller_(std::move(controller)),
        commandSeconds_(commandSeconds) {}
  ~NvmeDisk() override;
  NvmeDisk(const NvmeDisk&) = delete;
  NvmeDisk& operator=(const NvmeDisk&) = delete;

  bool GetDeviceNumber(std::uint32_t& number, int& error) override;
  std::string Name() const override { return name_; }
  DiskBus Bus() override { return DiskBus::kNvme; }
  bool QuerySmartSupport(bool& supported, int& error) override;
  bool SendAtaCommand(const AtaCommand& command, SectorBuffer sector, int& error) override;
  bool AskAtaRegisters(const AtaCommand& command, AtaRegisters& returned, int& error) override;
  bool SendScsiCommand(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn,
                       ScsiOutcome& outcome, int& error) override;
  bool SendScsiDataOut(std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> dataOut,
                       ScsiOutcome& outcome, int& error) override;
  bool ReadNvmeIdentity(NvmeIdentity& identity, int& error) override;
  bool ReadNvmeHealthLog(NvmeHealthLog log, int& error) override;
  // An admin command that times out resets the controller, which cancels it: EINTR.
  bool MeansTimeout(int error) const override;

 private:
  bool ReadText(const char* name, std::string& text, int& error) const;

  int fd_;
  std::string name_;
  std::uint32_t deviceNumber_;
  std::string controller_;
  unsigned commandSeconds_;
};

}  // namespace trelmoss
