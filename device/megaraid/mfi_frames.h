// The frames a MegaRAID controller (Broadcom's MFI firmware interface, sold as PERC and under
// other names) takes: a DCMD that lists its physical disks, and a pass-through that carries one
// SCSI command to one of them. Portable: a platform only hands the frame and its data buffer to
// the controller's driver.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "device/disk_system.h"

namespace trelmoss {

inline constexpr std::size_t kMfiFrameSize = 128;
using MfiFrame = std::array<std::uint8_t, kMfiFrameSize>;

// Where the driver writes its own buffer's address and length (the scatter-gather list), and
// where the caller puts the address of its sense buffer, in each kind of frame.
inline constexpr std::size_t kDcmdSglOffset = 0x28;
inline constexpr std::size_t kPassThroughSglOffset = 0x30;
inline constexpr std::size_t kPassThroughSenseOffset = 0x18;
inline constexpr std::size_t kMfiStatusOffset = 0x02;  // cmd_status, the one byte returned
inline constexpr std::size_t kMfiSenseBytes = 32;

// The bytes a list of `disks` entries takes: its 8-byte header, then 24 bytes an entry.
constexpr std::size_t PdListBytes(std::size_t disks) { return 8 + disks * 24; }

// MR_DCMD_PD_GET_LIST into a buffer of `bytes`.
MfiFrame BuildPdListFrame(std::uint32_t bytes);

// The disks a list holds (SCSI device type 0 alone: enclosures and the like are left out), and
// the size the whole list needs; a buffer that held less is asked for again at that size.
struct PdList {
  std::uint32_t size = 0;
  std::vector<std::uint16_t> disks;  // device ids, in the controller's order
};
std::optional<PdList> ParsePdList(std::span<const std::uint8_t> reply);

// MFI_CMD_PD_SCSI_IO: `cdb` to the disk of `deviceId`, reading `dataBytes` (none when zero),
// with room for sense data.
MfiFrame BuildPassThroughFrame(std::uint16_t deviceId, std::span<const std::uint8_t> cdb,
                               std::uint32_t dataBytes);

// How a pass-through ended, from the frame's status byte and the sense the driver copied back:
// true when the command was done or the disk answered CHECK CONDITION (the sense then says
// why); false for every other status (no such disk, a controller fault), which the caller turns
// into an error number.
bool PassThroughOutcome(std::uint8_t status, std::span<const std::uint8_t> sense,
                        ScsiOutcome& outcome);

}  // namespace trelmoss
