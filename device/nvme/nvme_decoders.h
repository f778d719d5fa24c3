// Turns what an NVMe controller returns (its Identify Controller data, its SMART / Health
// Information log page) into the fields of a drive record. No platform calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "device/disk_system.h"

namespace trelmoss {

struct DriveRecord;

// The identity texts of Identify Controller data: serial number bytes 4-23, model number 24-63,
// firmware revision 64-71, blank-padded ASCII with no byte swap.
NvmeIdentity IdentityOfController(std::span<const std::uint8_t, kNvmeIdentifyBytes> identify);
// Stores the identity texts in the record's identity fields, by the rules of the ATA texts.
void DecodeNvmeIdentity(DriveRecord& record, const NvmeIdentity& identity);
// Fills the record's health fields from the log page, in the report's order.
void DecodeNvmeHealth(DriveRecord& record, std::span<const std::uint8_t, kNvmeHealthLogBytes> log);

}  // namespace trelmoss
