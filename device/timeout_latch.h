// A drive that lets one command time out is sent nothing more: every later call fails at once
// with the same error number, so that each read still lost is named in the drive's error text
// by its own message, and a dying drive costs one timeout, not one per command.
#pragma once

#include "device/disk_system.h"

namespace trelmoss {

class TimeoutLatch final : public DiskHandle {
 public:
  explicit TimeoutLatch(DiskHandle& disk) : disk_(disk) {}

  bool GetDeviceNumber(std::uint32_t& number, int& error) override;
  std::string Name() const override { return disk_.Name(); }
  DiskBus Bus() override { return disk_.Bus(); }
  bool QuerySmartSupport(bool& supported, int& error) override;
  bool SendAtaCommand(const AtaCommand& command, SectorBuffer sector, int& error) override;
  bool AskAtaRegisters(const AtaCommand& command, AtaRegisters& returned, int& error) override;
  bool SendScsiCommand(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn,
                       ScsiOutcome& outcome, int& error) override;
  bool SendScsiDataOut(std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> dataOut,
                       ScsiOutcome& outcome, int& error) override;
  bool ReadNvmeIdentity(NvmeIdentity& identity, int& error) override;
  bool ReadNvmeHealthLog(NvmeHealthLog log, int& error) override;
  bool MeansTimeout(int error) const override { return disk_.MeansTimeout(error); }

 private:
  template <typename Call>
  bool Pass(int& error, Call call);

  DiskHandle& disk_;
  bool timedOut_ = false;
  int timeoutError_ = 0;
};

}  // namespace trelmoss
