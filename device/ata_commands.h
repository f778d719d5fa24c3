// The ATA commands a drive is ever sent, by their task-file registers. Each platform carries them
// to the drive by its own means (a control code, a SCSI pass-through); nothing here knows how.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trelmoss {

// The 28-bit ATA task-file registers a command sets.
struct AtaRegisters {
  std::uint8_t features = 0;
  std::uint8_t sectorCount = 0;
  std::uint8_t sectorNumber = 0;  // LBA low
  std::uint8_t cylinderLow = 0;   // LBA mid
  std::uint8_t cylinderHigh = 0;  // LBA high
  std::uint8_t driveHead = 0;
  std::uint8_t command = 0;
};

inline constexpr std::size_t kSectorSize = 512;

// One command; a data-in command returns one 512-byte sector.
struct AtaCommand {
  AtaRegisters registers;
  bool readsSector = false;
};

inline constexpr std::uint8_t kAtaSmart = 0xB0;
inline constexpr std::uint8_t kAtaIdentifyDevice = 0xEC;
// S.M.A.R.T. sub-commands, in the features register.
inline constexpr std::uint8_t kSmartReadData = 0xD0;
inline constexpr std::uint8_t kSmartReadThresholds = 0xD1;
inline constexpr std::uint8_t kSmartEnableOperations = 0xD8;

// The S.M.A.R.T. commands carry the 0xC24F key in the cylinder registers; every drive is
// addressed with drive/head 0xA0.
inline constexpr AtaCommand kEnableSmart{
    {kSmartEnableOperations, 1, 1, 0x4F, 0xC2, 0xA0, kAtaSmart}, false};
inline constexpr AtaCommand kIdentifyDevice{{0x00, 1, 1, 0x00, 0x00, 0xA0, kAtaIdentifyDevice},
                                            true};
inline constexpr AtaCommand kReadSmartData{{kSmartReadData, 1, 1, 0x4F, 0xC2, 0xA0, kAtaSmart},
                                           true};
inline constexpr AtaCommand kReadSmartThresholds{
    {kSmartReadThresholds, 1, 1, 0x4F, 0xC2, 0xA0, kAtaSmart}, true};

// Only these ever reach a drive: SMART ENABLE OPERATIONS, SMART READ DATA, SMART READ THRESHOLDS
// and IDENTIFY DEVICE.
constexpr bool IsPermittedAtaCommand(const AtaRegisters& registers) {
  if (registers.command == kAtaIdentifyDevice) return true;
  if (registers.command != kAtaSmart) return false;
  return registers.features == kSmartEnableOperations || registers.features == kSmartReadData ||
         registers.features == kSmartReadThresholds;
}

}  // namespace trelmoss
