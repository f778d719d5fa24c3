// A drive that lets one command time out is sent nothing more: every later call fails at once
// with the same error number, so that each read still lost is named in the drive's error text
// by its own message, and a dying drive costs one timeout, not one per command. A command has
// timed out when its error number says so, or when it failed only after the whole time it was
// given.
#pragma once

#include <functional>

#include "device/disk_system.h"

namespace trelmoss {

class TimeoutLatch final : public DiskHandle {
 public:
  // `beforeCommand` is called before each call that would reach the disk, so that what was read
  // so far can be kept should this one never come back; when it answers false, the drive has
  // been given up and is sent nothing more.
  explicit TimeoutLatch(DiskHandle& disk, std::function<bool()> beforeCommand = {})
      : disk_(disk), beforeCommand_(std::move(beforeCommand)) {}

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
  std::chrono::milliseconds CommandTimeout() const override { return disk_.CommandTimeout(); }
  RaidPlace Raid() const override { return disk_.Raid(); }

 private:
  template <typename Call>
  bool Pass(int& error, Call call);

  DiskHandle& disk_;
  std::function<bool()> beforeCommand_;
  bool timedOut_ = false;
  int timeoutError_ = 0;
};

}  // namespace trelmoss
