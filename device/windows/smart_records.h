// The request and reply records of the disk driver's S.M.A.R.T. control codes, byte for byte as
// the driver defines them (packed, little-endian).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/ata/ata_commands.h"

namespace trelmoss {

inline constexpr std::uint32_t kSmartGetVersion = 0x00074080;
inline constexpr std::uint32_t kSmartSendDriveCommand = 0x0007C084;
inline constexpr std::uint32_t kSmartRcvDriveData = 0x0007C088;

// GETVERSIONINPARAMS: bVersion, bRevision, bReserved, bIDEDeviceMap, fCapabilities (32-bit at 4),
// four reserved 32-bit words.
inline constexpr std::size_t kVersionReplySize = 24;
inline constexpr std::size_t kCapabilitiesOffset = 4;
inline constexpr std::uint32_t kCapSmartCommands = 4;  // CAP_SMART_CMD

// SENDCMDINPARAMS: cBufferSize (4), IDEREGS (8), bDriveNumber, 3 reserved bytes, 4 reserved
// words, and a 1-byte buffer.
inline constexpr std::size_t kRequestSize = 33;
inline constexpr std::size_t kRegistersOffset = 4;
inline constexpr std::size_t kDriveNumberOffset = 12;
// SENDCMDOUTPARAMS: cBufferSize (4), DRIVERSTATUS (12), then the data.
inline constexpr std::size_t kReplyDataOffset = 16;
// The reply sizes the disk driver is asked with: the record alone for the enable command, the
// record and a sector for IDENTIFY DEVICE, and 531 (not 528) for the two S.M.A.R.T. reads.
inline constexpr std::size_t kNonDataReplySize = 17;
// RETURN STATUS: the record, its 1-byte buffer replaced by the IDEREGS the drive returned.
inline constexpr std::size_t kReturnStatusReplySize = 24;
inline constexpr std::size_t kIdentifyReplySize = 528;
inline constexpr std::size_t kSmartReadReplySize = 531;
inline constexpr std::size_t kLargestReplySize = kSmartReadReplySize;

using SmartRequest = std::array<std::uint8_t, kRequestSize>;

// The control code and reply size that carry `command`.
std::uint32_t ControlCodeOf(const AtaCommand& command);
std::size_t ReplySizeOf(const AtaCommand& command);
// The drive is addressed by the low 8 bits of its device number.
SmartRequest BuildSmartRequest(const AtaCommand& command, std::uint32_t deviceNumber);

// The IDEREGS of a RETURN STATUS reply: error, count, LBA low, mid and high, device, status.
AtaRegisters ReturnedRegisters(std::span<const std::uint8_t, kReturnStatusReplySize> reply);

std::uint32_t VersionCapabilities(std::span<const std::uint8_t, kVersionReplySize> reply);

}  // namespace trelmoss
