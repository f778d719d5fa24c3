// The frames of the Common Storage Management Interface (CSMI), which Intel's Rapid Storage
// Technology driver and AMD's RAID driver answer for the SATA ports of their controllers: the
// driver's name, the table of its ports (PHYs), and the STP pass-through that carries one ATA
// command in a register host-to-device FIS to the drive on one port. Portable: a platform only
// hands a frame to the controller's driver (on Windows, IOCTL_SCSI_MINIPORT) and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "device/ata/ata_commands.h"

namespace trelmoss {

// Each frame begins with the miniport's 28-byte SRB_IO_CONTROL header.
inline constexpr std::size_t kCsmiHeaderBytes = 28;
inline constexpr std::size_t kCsmiDriverInfoBytes = 204;
inline constexpr std::size_t kCsmiPhyInfoBytes = 2080;
inline constexpr std::size_t kCsmiStpDataOffset = 164;  // the pass-through's data follows here

enum class CsmiCode : std::uint32_t {
  kDriverInfo = 1,       // CC_CSMI_SAS_GET_DRIVER_INFO, signature "CSMIALL"
  kPhyInfo = 20,         // CC_CSMI_SAS_GET_PHY_INFO, "CSMISAS"
  kStpPassThrough = 25,  // CC_CSMI_SAS_STP_PASSTHRU, "CSMISAS"
};

// A frame of `bytes` for `code`, its header filled in: the data length after the header, the
// signature the code belongs to, and the seconds the driver may take.
std::vector<std::uint8_t> BuildCsmiFrame(CsmiCode code, std::size_t bytes, unsigned seconds);

// The driver's own return code in an answered frame: 0 when it did what was asked.
std::uint32_t CsmiReturnCode(std::span<const std::uint8_t> frame);

// A port with a SATA drive, and the entry's fields that address it in a pass-through.
struct CsmiPort {
  unsigned number = 0;  // the port, as the controller's own tools number it
  std::uint8_t phyIdentifier = 0;
  std::uint8_t portIdentifier = 0;
  std::uint8_t sasAddress[8] = {};
};

// The ports of a PHY-info frame that have a SATA drive attached, in the order of their numbers.
// Which field of an entry holds the port's number differs from one driver release to the next;
// it is the first of the attached PHY identifier, the entry's own PHY identifier and its port
// identifier that is below 32 and unique across the used entries and not merely each entry's
// place, or else that place.
std::vector<CsmiPort> SataPortsOf(std::span<const std::uint8_t> frame);

// An STP pass-through frame carrying `command` to `port`, with room for one sector of data when
// the command reads one.
std::vector<std::uint8_t> BuildStpFrame(const CsmiPort& port, const AtaCommand& command,
                                        unsigned seconds);

// The registers of the device-to-host FIS an answered pass-through returned; false when the
// driver carries none back (AMD's returns them all zero).
bool StpStatusRegisters(std::span<const std::uint8_t> frame, AtaRegisters& returned);

}  // namespace trelmoss
