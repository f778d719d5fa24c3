#include "device/scsi/bridge_tunnels.h"

#include <algorithm>

#include "device/little_endian.h"
#include "device/nvme/nvme_decoders.h"

namespace trelmoss {
namespace {

constexpr std::uint8_t kAsmediaOpcode = 0xE6;
constexpr std::uint8_t kRealtekOpcode = 0xE4;
constexpr std::uint8_t kJmicronNvmeOpcode = 0xA1;  // ATA PASS-THROUGH (12), taken over
constexpr std::uint8_t kJmicronAdminBit = 0x80;
constexpr std::uint8_t kJmicronAtaOpcode = 0xDF;
constexpr std::uint8_t kJmicronDataIn = 0x10;
constexpr std::uint32_t kJmicronSignature = 0x454D564E;  // "NVME", little-endian
// The status block: the signature in dword 0, the completion's status field in dword 5, from
// bit 17.
constexpr std::size_t kStatusDword = 5;
constexpr unsigned kStatusShift = 17;
// The port probe's reply: the drive on port 0 or 1, addressed as device A0h or B0h.
constexpr std::uint8_t kPort0 = 0x04;
constexpr std::uint8_t kPort1 = 0x40;
// RETURN STATUS through DFh: one byte, the LBA high the drive returned.
constexpr std::uint8_t kStatusPassed = 0xC2;
constexpr std::uint8_t kStatusExceeded = 0x2C;

bool Succeeded(const ScsiOutcome& outcome) { return ScsiCommandSucceeded(outcome); }

}  // namespace

Cdb16 BuildAsmediaNvme(const NvmeAdminCommand& command) {
  Cdb16 cdb{};
  cdb[0] = kAsmediaOpcode;
  cdb[1] = command.opcode;
  cdb[3] = static_cast<std::uint8_t>(command.cdw10);
  cdb[6] = static_cast<std::uint8_t>(command.cdw10 >> 24);
  cdb[7] = static_cast<std::uint8_t>(command.cdw10 >> 16);
  return cdb;
}

Cdb16 BuildRealtekNvme(const NvmeAdminCommand& command) {
  Cdb16 cdb{};
  cdb[0] = kRealtekOpcode;
  cdb[1] = static_cast<std::uint8_t>(command.dataBytes);
  cdb[2] = static_cast<std::uint8_t>(command.dataBytes >> 8);
  cdb[3] = command.opcode;
  cdb[4] = static_cast<std::uint8_t>(command.cdw10);
  return cdb;
}

Cdb12 BuildJmicronNvme(JmicronStep step, std::uint32_t length) {
  Cdb12 cdb{};
  cdb[0] = kJmicronNvmeOpcode;
  cdb[1] = kJmicronAdminBit | static_cast<std::uint8_t>(step);
  cdb[3] = static_cast<std::uint8_t>(length >> 16);
  cdb[4] = static_cast<std::uint8_t>(length >> 8);
  cdb[5] = static_cast<std::uint8_t>(length);
  return cdb;
}

JmicronBlock JmicronNvmeCommandBlock(const NvmeAdminCommand& command) {
  JmicronBlock block{};
  StoreLittleEndian<std::uint32_t>(&block[0], kJmicronSignature);
  StoreLittleEndian<std::uint32_t>(&block[2 * 4], command.opcode);
  StoreLittleEndian<std::uint32_t>(&block[3 * 4], command.nsid);
  StoreLittleEndian<std::uint32_t>(&block[12 * 4], command.cdw10);
  return block;
}

Cdb12 BuildJmicronAta(const AtaRegisters& registers, std::uint8_t device, std::uint16_t dataBytes) {
  return {kJmicronAtaOpcode,
          static_cast<std::uint8_t>(dataBytes == 0 ? 0x00 : kJmicronDataIn),
          0,
          static_cast<std::uint8_t>(dataBytes >> 8),
          static_cast<std::uint8_t>(dataBytes),
          registers.features,
          registers.sectorCount,
          registers.sectorNumber,
          registers.cylinderLow,
          registers.cylinderHigh,
          device,
          registers.command};
}

bool BridgeRoad::Carry(DiskHandle& disk, std::span<const std::uint8_t> cdb,
                       std::span<std::uint8_t> dataIn, std::span<const std::uint8_t> dataOut,
                       int& error) {
  if (refused_) {
    error = numbers_.deviceFailed;
    return false;
  }
  ScsiOutcome outcome;
  const bool sent = dataOut.empty() ? SendScsi(disk, cdb, dataIn, outcome, error)
                                    : disk.SendScsiDataOut(cdb, dataOut, outcome, error);
  if (sent && Succeeded(outcome)) return carried_ = true;
  refused_ = !carried_;
  if (sent) error = numbers_.deviceFailed;
  return false;
}

bool BridgeRoad::JmicronNvme(DiskHandle& disk, const NvmeAdminCommand& command,
                             std::span<std::uint8_t> data, int& error) {
  const JmicronBlock block = JmicronNvmeCommandBlock(command);
  JmicronBlock status{};
  const auto length = static_cast<std::uint32_t>(data.size());
  if (!Carry(disk, BuildJmicronNvme(JmicronStep::kCommand, kJmicronBlockBytes), {}, block, error) ||
      !Carry(disk, BuildJmicronNvme(JmicronStep::kDataIn, length), data, {}, error) ||
      !Carry(disk, BuildJmicronNvme(JmicronStep::kStatus, kJmicronBlockBytes), status, {}, error)) {
    return false;
  }
  if (LoadLittleEndian<std::uint32_t>(&status[0]) == kJmicronSignature &&
      LoadLittleEndian<std::uint32_t>(&status[kStatusDword * 4]) >> kStatusShift == 0) {
    return true;
  }
  error = numbers_.deviceFailed;  // the drive's own status: it failed the command
  return false;
}

bool BridgeRoad::Nvme(DiskHandle& disk, const NvmeAdminCommand& command,
                      std::span<std::uint8_t> data, int& error) {
  std::fill(data.begin(), data.end(), 0);
  switch (tunnel_) {
    case BridgeTunnel::kAsmediaNvme:
      return Carry(disk, BuildAsmediaNvme(command), data, {}, error);
    case BridgeTunnel::kRealtekNvme:
      return Carry(disk, BuildRealtekNvme(command), data, {}, error);
    case BridgeTunnel::kJmicronNvme:
      return JmicronNvme(disk, command, data, error);
    default:
      error = numbers_.refused;
      return false;
  }
}

bool BridgeRoad::ReadNvmeIdentity(DiskHandle& disk, NvmeIdentity& identity, int& error) {
  std::array<std::uint8_t, kNvmeIdentifyBytes> data{};
  if (!Nvme(disk, kNvmeIdentifyController, data, error)) return false;
  identity = IdentityOfController(data);
  return true;
}

bool BridgeRoad::ReadNvmeHealthLog(DiskHandle& disk, NvmeHealthLog log, int& error) {
  return Nvme(disk, kNvmeReadHealthLog, log, error);
}

bool BridgeRoad::FindPort(DiskHandle& disk, int& error) {
  if (device_) return true;
  std::array<std::uint8_t, 1> port{};
  if (!Carry(disk, kJmicronPortProbe, port, {}, error)) return false;
  if (port[0] & kPort0) {
    device_ = 0xA0;
  } else if (port[0] & kPort1) {
    device_ = 0xB0;
  } else {
    refused_ = true;  // no drive on either port
    error = numbers_.deviceFailed;
    return false;
  }
  return true;
}

bool BridgeRoad::SendAtaCommand(DiskHandle& disk, const AtaCommand& command, SectorBuffer sector,
                                int& error) {
  if (tunnel_ != BridgeTunnel::kJmicronAta || !IsPermittedAtaCommand(command.registers)) {
    error = numbers_.refused;
    return false;
  }
  if (!FindPort(disk, error)) return false;
  const std::uint16_t bytes = command.readsSector ? kSectorSize : 0;
  return Carry(disk, BuildJmicronAta(command.registers, *device_, bytes),
               command.readsSector ? std::span<std::uint8_t>(sector) : std::span<std::uint8_t>(),
               {}, error);
}

bool BridgeRoad::AskAtaRegisters(DiskHandle& disk, const AtaCommand& command,
                                 AtaRegisters& returned, int& error) {
  if (tunnel_ != BridgeTunnel::kJmicronAta || command.registers.command != kAtaSmart ||
      command.registers.features != kSmartReturnStatus) {
    error = numbers_.refused;  // CHECK POWER MODE: no count comes back through DFh
    return false;
  }
  std::array<std::uint8_t, 1> status{};
  if (!FindPort(disk, error) ||
      !Carry(disk, BuildJmicronAta(command.registers, *device_, 1), status, {}, error)) {
    return false;
  }
  returned = {};
  if (status[0] == kStatusPassed) returned.cylinderLow = 0x4F, returned.cylinderHigh = 0xC2;
  if (status[0] == kStatusExceeded) returned.cylinderLow = 0xF4, returned.cylinderHigh = 0x2C;
  return true;
}

}  // namespace trelmoss
