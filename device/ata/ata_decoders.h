// Turns the three 512-byte sectors a drive returns (IDENTIFY DEVICE, S.M.A.R.T. READ DATA and
// READ THRESHOLDS) into the fields of a drive record and the keys of the attribute index.
// No platform calls: these run on sector images anywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "device/ata_commands.h"

namespace trelmoss {

class DriveTable;
struct DriveRecord;

using Sector = std::span<const std::uint8_t, kSectorSize>;

// Stores the first 256 bytes and decodes model, serial and firmware texts in place.
void DecodeIdentity(DriveRecord& record, Sector data);
// Undoes the byte swap of an ATA text field and trims blanks at both ends, in place; a text
// shorter than the field is followed by a NUL.
void SwapAndTrim(std::uint8_t* field, std::size_t width);
// Writes `text` into a field of `width` bytes by the same rules: cut at the field's width and at
// its first NUL, blanks trimmed at both ends, a NUL behind it when it is shorter than the field.
void StoreIdentityText(std::uint8_t* field, std::size_t width, std::string_view text);
void DecodeAttributes(DriveTable& table, std::uint8_t slot, Sector data);
void DecodeThresholds(DriveTable& table, std::uint8_t slot, Sector data);

}  // namespace trelmoss
