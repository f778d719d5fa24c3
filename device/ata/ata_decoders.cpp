#include "device/ata/ata_decoders.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "device/field_text.h"
#include "device/little_endian.h"
#include "model/drive_table.h"

namespace trelmoss {
namespace {

// Both S.M.A.R.T. sectors: a 2-byte revision, then 30 entries of 12 bytes.
constexpr std::size_t kTableOffset = 2;
constexpr std::size_t kEntrySize = 12;
constexpr std::size_t kEntryCount = 30;

// Attribute entry fields.
constexpr std::size_t kIdOffset = 0;
constexpr std::size_t kFlagsOffset = 1;  // 16-bit little-endian status flags
constexpr std::size_t kValueOffset = 3;
constexpr std::size_t kWorstOffset = 4;
constexpr std::size_t kRawLowOffset = 5;  // the report keeps the low 16 bits of the 48-bit raw
constexpr std::size_t kRawBytes = 6;
// The self-test execution status byte: the upper nibble says how the last self-test ended, the
// lower how much of a running one is left.
constexpr std::size_t kSelfTestStatusOffset = 363;
// Threshold entry field.
constexpr std::size_t kThresholdOffset = 1;

const std::uint8_t* EntryAt(Sector data, std::size_t index) {
  return data.data() + kTableOffset + index * kEntrySize;
}

}  // namespace

void SwapAndTrim(std::uint8_t* field, std::size_t width) {
  std::array<char, 260> scratch{};
  width = std::min(width, scratch.size());
  for (std::size_t k = 0; 2 * k + 1 < width; ++k) {
    scratch[2 * k] = static_cast<char>(field[2 * k + 1]);  // ATA puts the first character in the
    scratch[2 * k + 1] = static_cast<char>(field[2 * k]);  // high byte
  }
  StoreIdentityText(field, width, std::string_view(scratch.data(), width));
}

void DecodeIdentity(DriveRecord& record, Sector data) {
  std::copy_n(data.begin(), record.identification.size(), record.identification.begin());
  for (const IdentityField field : {kModelField, kSerialField, kFirmwareField}) {
    SwapAndTrim(record.identification.data() + field.offset, field.width);
  }
}

void DecodeAttributes(DriveRecord& record, Sector data) {
  record.attributeCount = 0;
  record.selfTestStatus = data[kSelfTestStatusOffset];
  for (std::size_t index = 0; index < kEntryCount; ++index) {
    const std::uint8_t* raw = EntryAt(data, index);
    if (raw[kIdOffset] == 0) continue;
    AttributeEntry& entry = record.attributes[record.attributeCount];
    entry.id = raw[kIdOffset];
    entry.flags = static_cast<std::uint16_t>(raw[kFlagsOffset] | raw[kFlagsOffset + 1] << 8);
    entry.raw = raw[kRawLowOffset] + 256u * raw[kRawLowOffset + 1];
    entry.wholeRaw = LoadLittleEndian<std::uint64_t>(raw + kRawLowOffset, kRawBytes);
    entry.value = raw[kValueOffset];
    entry.worst = raw[kWorstOffset];
    entry.threshold = -1;
    ++record.attributeCount;
  }
}

// A threshold belongs to the entry the index keeps for its id: of a repeated id, the later.
void DecodeThresholds(DriveRecord& record, Sector data) {
  for (std::size_t index = 0; index < kEntryCount; ++index) {
    const std::uint8_t* raw = EntryAt(data, index);
    if (raw[kIdOffset] == 0) continue;
    for (std::size_t at = record.attributeCount; at-- > 0;) {
      if (record.attributes[at].id != raw[kIdOffset]) continue;
      record.attributes[at].threshold = raw[kThresholdOffset];
      break;
    }
  }
}

void DecodeAttributes(DriveTable& table, std::uint8_t slot, Sector data) {
  DecodeAttributes(table.Drive(slot), data);
  table.IndexDrive(slot);
}

void DecodeThresholds(DriveTable& table, std::uint8_t slot, Sector data) {
  DecodeThresholds(table.Drive(slot), data);
}

}  // namespace trelmoss
