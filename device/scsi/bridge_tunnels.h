// A disk behind a USB bridge that does not translate ATA PASS-THROUGH: its NVMe admin commands,
// or its ATA commands, carried inside the bridge's own vendor command through the disk's SCSI
// pass-through. Only the commands a drive on a port would get, and only to the bridge its USB id
// names. A bridge that refuses its tunnel once is sent nothing more of it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "device/disk_system.h"
#include "device/scsi/scsi_route.h"
#include "device/scsi/usb_bridges.h"

namespace trelmoss {

// The command blocks, by the bridges' layouts.
// ASMedia E6h: [1] opcode, [3] CDW10 bits 7:0, [6-7] CDW10 bits 31:16 big-endian.
Cdb16 BuildAsmediaNvme(const NvmeAdminCommand& command);
// Realtek E4h: [1-2] transfer length little-endian, [3] opcode, [4] CDW10 bits 7:0.
Cdb16 BuildRealtekNvme(const NvmeAdminCommand& command);
// JMicron's ATA PASS-THROUGH (12) with the admin bit and a protocol: the 512-byte command block
// out, the data in, then the 512-byte status in; [3-5] the length big-endian.
enum class JmicronStep : std::uint8_t { kCommand = 0x0, kDataIn = 0x2, kStatus = 0xF };
Cdb12 BuildJmicronNvme(JmicronStep step, std::uint32_t length);
inline constexpr std::size_t kJmicronBlockBytes = 512;
using JmicronBlock = std::array<std::uint8_t, kJmicronBlockBytes>;
// The command block: the signature "NVME", the opcode, the namespace and CDW10 as the NVMe
// command's dwords 0, 2, 3 and 12, little-endian.
JmicronBlock JmicronNvmeCommandBlock(const NvmeAdminCommand& command);
// JMicron DFh: [1] 10h data-in or 00h non-data, [3-4] length big-endian, [5-9] features, count,
// LBA low, mid, high, [10] the device (the port), [11] the command.
Cdb12 BuildJmicronAta(const AtaRegisters& registers, std::uint8_t device, std::uint16_t dataBytes);
// The register read that tells on which port the drive sits.
inline constexpr Cdb12 kJmicronPortProbe{0xDF, 0x10, 0, 0, 1, 0, 0x72, 0x0F, 0, 0, 0, 0xFD};

class BridgeRoad {
 public:
  BridgeRoad(BridgeTunnel tunnel, ErrorNumbers numbers) : tunnel_(tunnel), numbers_(numbers) {}
  DiskBus Bus() const {
    return tunnel_ == BridgeTunnel::kJmicronAta ? DiskBus::kAta : DiskBus::kNvme;
  }

  bool ReadNvmeIdentity(DiskHandle& disk, NvmeIdentity& identity, int& error);
  bool ReadNvmeHealthLog(DiskHandle& disk, NvmeHealthLog log, int& error);
  bool SendAtaCommand(DiskHandle& disk, const AtaCommand& command, SectorBuffer sector, int& error);
  // S.M.A.R.T. RETURN STATUS only: the bridge answers it as one byte, C2h or 2Ch.
  bool AskAtaRegisters(DiskHandle& disk, const AtaCommand& command, AtaRegisters& returned,
                       int& error);

 private:
  bool Nvme(DiskHandle& disk, const NvmeAdminCommand& command, std::span<std::uint8_t> data,
            int& error);
  bool JmicronNvme(DiskHandle& disk, const NvmeAdminCommand& command, std::span<std::uint8_t> data,
                   int& error);
  // One tunnelled command, data in or out. A refusal before any command got through ends the
  // tunnel (the bridge does not speak it); after one did, it is the drive's refusal of that
  // command alone (a log it does not keep).
  bool Carry(DiskHandle& disk, std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn,
             std::span<const std::uint8_t> dataOut, int& error);
  bool FindPort(DiskHandle& disk, int& error);

  BridgeTunnel tunnel_;
  ErrorNumbers numbers_;
  bool refused_ = false;
  bool carried_ = false;                // a command got through
  std::optional<std::uint8_t> device_;  // the JMicron SATA bridge's port, once found
};

}  // namespace trelmoss
