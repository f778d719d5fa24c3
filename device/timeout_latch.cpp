#include "device/timeout_latch.h"

#include <chrono>

namespace trelmoss {

template <typename Call>
bool TimeoutLatch::Pass(int& error, Call call) {
  if (timedOut_) {
    error = timeoutError_;
    return false;
  }
  if (beforeCommand_ && !beforeCommand_()) {
    timedOut_ = true;
    timeoutError_ = error;
    return false;
  }
  const auto started = std::chrono::steady_clock::now();
  if (call()) return true;
  if (disk_.MeansTimeout(error) ||
      std::chrono::steady_clock::now() - started >= disk_.CommandTimeout()) {
    timedOut_ = true;
    timeoutError_ = error;
  }
  return false;
}

bool TimeoutLatch::GetDeviceNumber(std::uint32_t& number, int& error) {
  return Pass(error, [&] { return disk_.GetDeviceNumber(number, error); });
}

bool TimeoutLatch::QuerySmartSupport(bool& supported, int& error) {
  return Pass(error, [&] { return disk_.QuerySmartSupport(supported, error); });
}

bool TimeoutLatch::SendAtaCommand(const AtaCommand& command, SectorBuffer sector, int& error) {
  return Pass(error, [&] { return disk_.SendAtaCommand(command, sector, error); });
}

bool TimeoutLatch::AskAtaRegisters(const AtaCommand& command, AtaRegisters& returned, int& error) {
  return Pass(error, [&] { return disk_.AskAtaRegisters(command, returned, error); });
}

bool TimeoutLatch::SendScsiCommand(std::span<const std::uint8_t> cdb,
                                   std::span<std::uint8_t> dataIn, ScsiOutcome& outcome,
                                   int& error) {
  return Pass(error, [&] { return disk_.SendScsiCommand(cdb, dataIn, outcome, error); });
}

bool TimeoutLatch::SendScsiDataOut(std::span<const std::uint8_t> cdb,
                                   std::span<const std::uint8_t> dataOut, ScsiOutcome& outcome,
                                   int& error) {
  return Pass(error, [&] { return disk_.SendScsiDataOut(cdb, dataOut, outcome, error); });
}

bool TimeoutLatch::ReadNvmeIdentity(NvmeIdentity& identity, int& error) {
  return Pass(error, [&] { return disk_.ReadNvmeIdentity(identity, error); });
}

bool TimeoutLatch::ReadNvmeHealthLog(NvmeHealthLog log, int& error) {
  return Pass(error, [&] { return disk_.ReadNvmeHealthLog(log, error); });
}

}  // namespace trelmoss
