// SCSI commands that carry the drive's ATA commands through a SCSI-to-ATA translation layer:
// ATA PASS-THROUGH (16) and the INQUIRY that tells whether such a layer is there. Built and
// judged here, in portable code; a platform backend only hands the bytes to its driver.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "device/ata_commands.h"

namespace trelmoss {

using Cdb16 = std::array<std::uint8_t, 16>;
using Cdb6 = std::array<std::uint8_t, 6>;

// ATA PASS-THROUGH (16) for a 28-bit command: non-data when `readsSector` is false, otherwise
// PIO data-in of one 512-byte sector. With `returnRegisters` (CK_COND) the command ends with the
// registers the drive returned in its sense data.
Cdb16 BuildAtaPassThrough(const AtaRegisters& registers, bool readsSector,
                          bool returnRegisters = false);

inline constexpr std::size_t kStandardInquirySize = 36;
inline constexpr std::size_t kAtaInformationPageSize = 64;
inline constexpr std::uint8_t kAtaInformationPage = 0x89;
Cdb6 BuildInquiry(bool vitalProductData, std::uint8_t page, std::uint16_t allocationLength);
// True when standard INQUIRY data names the vendor "ATA", as a translating layer reports.
bool InquiryNamesAtaVendor(std::span<const std::uint8_t> inquiry);
// True when the reply is the ATA Information VPD page.
bool IsAtaInformationPage(std::span<const std::uint8_t> page);

// How the SCSI layer finished a command.
struct ScsiOutcome {
  std::uint8_t status = 0;  // SCSI status byte
  std::uint16_t hostStatus = 0;
  std::uint16_t driverStatus = 0;
  std::span<const std::uint8_t> sense;
};

// An ATA command succeeded when it finished GOOD, or with CHECK CONDITION carrying only the ATA
// status return of a command that set neither ERR nor DF.
bool AtaCommandSucceeded(const ScsiOutcome& outcome);
// The registers a drive returned (error in `features`, status in `command`), from the sense
// data of a command sent with CK_COND, in descriptor or fixed format; false when the sense
// carries none.
bool ReturnedRegisters(const ScsiOutcome& outcome, AtaRegisters& returned);
// Any SCSI command: finished GOOD with no transport or driver error.
bool ScsiCommandSucceeded(const ScsiOutcome& outcome);

}  // namespace trelmoss
