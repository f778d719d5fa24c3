// Which tunnel a USB disk's bridge carries, decided by the bridge's exact USB id alone: a bridge
// not in the table is never sent a vendor command, and takes the SCSI road every disk takes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace trelmoss {

struct UsbId {
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::optional<std::uint16_t> release;  // bcdDevice; Windows does not tell it
};

enum class BridgeTunnel {
  kNone,         // the SCSI road: SAT, or a SCSI disk
  kAsmediaNvme,  // NVMe admin commands in E6h
  kRealtekNvme,  // NVMe admin commands in E4h
  kJmicronNvme,  // NVMe admin commands in three ATA PASS-THROUGH (12) steps, "NVME" signed
  kJmicronAta,   // ATA commands in DFh
};

BridgeTunnel TunnelOf(const UsbId& id);
// The id in a Windows device id, "USB\VID_174C&PID_2362\..." (an instance id, no release) or
// "USB\VID_152D&PID_0583&REV_0214" (a hardware id, with it).
std::optional<UsbId> UsbIdOfDeviceId(std::string_view deviceId);

}  // namespace trelmoss
