// Turns what a SCSI disk answers (INQUIRY, the unit serial number page, log pages, READ DEFECT
// DATA headers, sense data) into the fields of a drive record. No platform calls.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>

namespace trelmoss {

struct DriveRecord;

// The log pages read, by code, in the order the report lists what they hold.
inline constexpr std::uint8_t kInformationalExceptionsPage = 0x2F;
inline constexpr std::uint8_t kTemperaturePage = 0x0D;
inline constexpr std::uint8_t kStartStopCyclePage = 0x0E;
inline constexpr std::uint8_t kBackgroundScanPage = 0x15;
inline constexpr std::uint8_t kReadErrorCounterPage = 0x03;
inline constexpr std::uint8_t kWriteErrorCounterPage = 0x02;
inline constexpr std::uint8_t kVerifyErrorCounterPage = 0x05;
inline constexpr std::uint8_t kNonMediumErrorPage = 0x06;

// What was read, by the names smartctl's JSON gives it, each value in decimal.
using ScsiFields = std::map<std::string, std::string>;

// Model (vendor and product), firmware (revision) from standard INQUIRY data, serial from the
// unit serial number page; blank-padded texts trimmed.
void DecodeScsiIdentity(DriveRecord& record, std::span<const std::uint8_t> inquiry,
                        std::span<const std::uint8_t> serialPage);
// The page codes a LOG SENSE of page 00h lists.
std::span<const std::uint8_t> SupportedLogPages(std::span<const std::uint8_t> reply);
// The fields of one log page reply; nothing when it is not the page asked for. A parameter that
// the reply cuts short, and a value the page marks as absent (all FFh), are left out.
void DecodeLogPage(std::uint8_t page, std::span<const std::uint8_t> reply, ScsiFields& fields);
// The grown defect count from a READ DEFECT DATA (10) or (12) header; nothing when the list's
// length cannot be told whole (a (10) length at its largest may be cut).
std::optional<std::uint64_t> GrownDefects(std::span<const std::uint8_t> header, bool twelve);
// The informational exception (ASC, ASCQ) that REQUEST SENSE's data reports.
void DecodeRequestSense(std::span<const std::uint8_t> sense, ScsiFields& fields);
// The fields in the report's order into the record.
void StoreScsiFields(DriveRecord& record, const ScsiFields& fields);

}  // namespace trelmoss
