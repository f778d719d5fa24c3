// Turns the three 512-byte sectors a drive returns (IDENTIFY DEVICE, S.M.A.R.T. READ DATA and
// READ THRESHOLDS) into the fields of a drive record and the keys of the attribute index.
// No platform calls: these run on sector images anywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "device/ata/ata_commands.h"

namespace trelmoss {

class DriveTable;
struct DriveRecord;

using Sector = std::span<const std::uint8_t, kSectorSize>;

// Stores the first 256 bytes and decodes model, serial and firmware texts in place.
void DecodeIdentity(DriveRecord& record, Sector data);
// Undoes the byte swap of an ATA text field and trims blanks at both ends, in place; a text
// shorter than the field is followed by a NUL.
void SwapAndTrim(std::uint8_t* field, std::size_t width);
// The attribute entries of READ DATA into the record alone, and the thresholds into them: what a
// drive read on its own fills. The table indexes the entries when it takes the record.
void DecodeAttributes(DriveRecord& record, Sector data);
void DecodeThresholds(DriveRecord& record, Sector data);
// The same into a table's drive, its entries indexed at once.
void DecodeAttributes(DriveTable& table, std::uint8_t slot, Sector data);
void DecodeThresholds(DriveTable& table, std::uint8_t slot, Sector data);

}  // namespace trelmoss
