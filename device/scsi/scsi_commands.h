// The SCSI commands a disk is ever sent, built and judged here in portable code; a platform
// backend only hands the bytes to its driver. ATA PASS-THROUGH (16) and (12) carry a drive's ATA
// commands through a SCSI-to-ATA translation layer (the kernel's libata, a USB bridge, a SAS
// adapter); INQUIRY, LOG SENSE, REQUEST SENSE and READ DEFECT DATA read a SCSI disk's health.
// Every one of them only reads.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "device/ata/ata_commands.h"

namespace trelmoss {

using Cdb16 = std::array<std::uint8_t, 16>;
using Cdb12 = std::array<std::uint8_t, 12>;
using Cdb10 = std::array<std::uint8_t, 10>;
using Cdb6 = std::array<std::uint8_t, 6>;

// ATA PASS-THROUGH (16) for a 28-bit command: non-data when `readsSector` is false, otherwise
// PIO data-in of one 512-byte sector. With `returnRegisters` (CK_COND) the command ends with the
// registers the drive returned in its sense data.
Cdb16 BuildAtaPassThrough(const AtaRegisters& registers, bool readsSector,
                          bool returnRegisters = false);
// The same as ATA PASS-THROUGH (12), for bridges that take no 16-byte command.
Cdb12 BuildAtaPassThrough12(const AtaRegisters& registers, bool readsSector,
                            bool returnRegisters = false);

inline constexpr std::size_t kStandardInquirySize = 36;
inline constexpr std::uint8_t kUnitSerialNumberPage = 0x80;
Cdb6 BuildInquiry(bool vitalProductData, std::uint8_t page, std::uint16_t allocationLength);
// True when standard INQUIRY data names the vendor "ATA", as a translating layer reports.
bool InquiryNamesAtaVendor(std::span<const std::uint8_t> inquiry);
// LOG SENSE of `page`'s cumulative values (PC 01b), subpage 0.
Cdb10 BuildLogSense(std::uint8_t page, std::uint16_t allocationLength);
Cdb6 BuildRequestSense(std::uint8_t allocationLength);
// READ DEFECT DATA of the grown list (GLIST) in the bytes-from-index format; an allocation of
// the header alone asks for the list's length only.
Cdb10 BuildReadDefectData10(std::uint16_t allocationLength);
Cdb12 BuildReadDefectData12(std::uint32_t allocationLength);

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

// The sense key and additional sense code and qualifier, from either sense format; all FFh
// when there is no sense.
struct SenseCodes {
  std::uint8_t key = 0xFF;
  std::uint8_t asc = 0xFF;
  std::uint8_t ascq = 0xFF;
};
SenseCodes SenseCodesOf(std::span<const std::uint8_t> sense);
// The disk was reset or had a mode page changed, and says so once to the next command.
bool IsUnitAttention(const ScsiOutcome& outcome);

}  // namespace trelmoss
