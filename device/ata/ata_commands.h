// The ATA commands a drive is ever sent, by their task-file registers. Each platform carries them
// to the drive by its own means (a control code, a SCSI pass-through); nothing here knows how.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/health.h"

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
inline constexpr std::uint8_t kAtaCheckPowerMode = 0xE5;
inline constexpr std::uint8_t kAtaReadLogExt = 0x2F;
// S.M.A.R.T. sub-commands, in the features register.
inline constexpr std::uint8_t kSmartReadData = 0xD0;
inline constexpr std::uint8_t kSmartReadThresholds = 0xD1;
inline constexpr std::uint8_t kSmartEnableOperations = 0xD8;
inline constexpr std::uint8_t kSmartReturnStatus = 0xDA;
inline constexpr std::uint8_t kSmartReadLog = 0xD5;

// The logs read, by their log address: the general-purpose log directory, the summary error
// log, the Device Statistics and the self-test log.
inline constexpr std::uint8_t kLogDirectory = 0x00;
inline constexpr std::uint8_t kSummaryErrorLog = 0x01;
inline constexpr std::uint8_t kDeviceStatisticsLog = 0x04;
inline constexpr std::uint8_t kSelfTestLog = 0x06;

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

// S.M.A.R.T. READ LOG of one sector: the log address in LBA low. It has no page offset.
constexpr AtaCommand SmartReadLog(std::uint8_t address) {
  return {{kSmartReadLog, 1, address, 0x4F, 0xC2, 0xA0, kAtaSmart}, true};
}
// READ LOG EXT of one page: the log address in LBA low, the page in LBA mid. A page below 256
// and a count of 1 leave every upper register byte zero, so the 28-bit registers carry it whole.
constexpr AtaCommand ReadLogExt(std::uint8_t address, std::uint8_t page) {
  return {{0, 1, address, page, 0, 0xA0, kAtaReadLogExt}, true};
}

// S.M.A.R.T. RETURN STATUS: non-data; the drive answers in the cylinder registers.
inline constexpr AtaCommand kReadSmartStatus{
    {kSmartReturnStatus, 1, 1, 0x4F, 0xC2, 0xA0, kAtaSmart}, false};
// The cylinder registers RETURN STATUS leaves: the key unchanged when no threshold is exceeded,
// F4h/2Ch when one is. Anything else, all zeros from a driver that returns no registers among
// them, says nothing.
constexpr SmartStatus SmartStatusOf(const AtaRegisters& returned) {
  if (returned.cylinderLow == 0x4F && returned.cylinderHigh == 0xC2) return SmartStatus::kPassed;
  if (returned.cylinderLow == 0xF4 && returned.cylinderHigh == 0x2C) {
    return SmartStatus::kThresholdExceeded;
  }
  return SmartStatus::kUnknown;
}

// CHECK POWER MODE: the drive answers with its mode in the sector count register and wakes for
// nothing.
inline constexpr AtaCommand kCheckPowerMode{{0, 0, 0, 0, 0, 0xA0, kAtaCheckPowerMode}, false};
// The modes CHECK POWER MODE answers for a drive whose platters are stopped: 00h standby, 01h
// standby entered by its own timer (ACS-3 "Standby_y").
constexpr bool IsStandbyMode(std::uint8_t mode) { return mode == 0x00 || mode == 0x01; }

// Only these ever reach a drive: SMART ENABLE OPERATIONS, SMART READ DATA, SMART READ THRESHOLDS,
// IDENTIFY DEVICE and, when asked, CHECK POWER MODE, SMART RETURN STATUS and the reads of the
// logs above, one sector each.
constexpr bool IsPermittedAtaCommand(const AtaRegisters& registers) {
  if (registers.command == kAtaIdentifyDevice || registers.command == kAtaCheckPowerMode) {
    return true;
  }
  const std::uint8_t log = registers.sectorNumber;
  if (registers.command == kAtaReadLogExt) {
    return registers.sectorCount == 1 && (log == kLogDirectory || log == kDeviceStatisticsLog);
  }
  if (registers.command != kAtaSmart) return false;
  if (registers.features == kSmartReadLog) {
    return registers.sectorCount == 1 && (log == kSummaryErrorLog || log == kSelfTestLog);
  }
  return registers.features == kSmartEnableOperations || registers.features == kSmartReadData ||
         registers.features == kSmartReadThresholds || registers.features == kSmartReturnStatus;
}

}  // namespace trelmoss
