#include "model/drive_table.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace trelmoss {

std::string_view DriveRecord::IdentityText(IdentityField field) const {
  const char* start = reinterpret_cast<const char*>(identification.data()) + field.offset;
  const void* nul = std::memchr(start, '\0', field.width);
  const std::size_t length =
      nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - start) : field.width;
  return {start, length};
}

DriveTable::DriveTable() {
  ClearAttributeIndex();
  for (std::size_t slot = 0; slot < drives_.size(); ++slot) {
    drives_[slot].slot = static_cast<std::uint8_t>(slot);
  }
}

DriveTable::DriveTable(const DefinitionsFile& file, const std::string& path, Console& console)
    : DriveTable() {
  LoadDefinitions(file, path, console);
}

DriveTable::~DriveTable() { ClearAttributeIndex(); }

DriveRecord& DriveTable::RegisterDrive(const std::string& devicePath, std::uint32_t deviceNumber) {
  if (driveCount_ >= kMaxDrives) throw std::length_error("drive table is full");
  DriveRecord& record = drives_[driveCount_++];
  record.devicePath = devicePath;
  record.deviceNumber = deviceNumber;
  return record;
}

void DriveTable::StoreDrive(const DriveRecord& record) {
  drives_.at(record.slot) = record;
  IndexDrive(record.slot);
}

void DriveTable::IndexDrive(std::uint8_t slot) {
  DriveRecord& record = drives_.at(slot);
  for (std::uint8_t i = 0; i < record.attributeCount; ++i) {
    IndexAttribute(slot, record.attributes[i]);
  }
}

void DriveTable::IndexAttribute(std::uint8_t slot, AttributeEntry& entry) {
  index_[AttributeKey(slot, entry.id)] = &entry;  // a later entry with the same id wins
}

AttributeEntry* DriveTable::FindAttribute(std::uint8_t slot, std::uint8_t id) const {
  const auto found = index_.find(AttributeKey(slot, id));
  return found == index_.end() ? nullptr : found->second;
}

void DriveTable::AddDefinition(AttributeDefinition definition) {
  const std::uint8_t id = definition.id;
  definitions_.try_emplace(id, std::move(definition));  // the first definition of an id wins
}

const AttributeDefinition* DriveTable::FindDefinition(std::uint8_t id) const {
  const auto found = definitions_.find(id);
  return found == definitions_.end() ? nullptr : &found->second;
}

void DriveTable::ClearAttributeIndex() {
  driveCount_ = 0;
  index_.clear();
}

}  // namespace trelmoss
