#include "model/definitions_digest.h"

#include <algorithm>
#include <cstdint>

#include "model/definitions.h"

namespace trelmoss {
namespace {

constexpr std::array<std::string_view, 4> kAttributeKeys = {"id", "critical", "name", "details"};
constexpr std::size_t kIdKey = 0;

// Which of kAttributeKeys `lowerKey` is, or kAttributeKeys.size().
std::size_t AttributeKeyIndex(std::string_view lowerKey) {
  return static_cast<std::size_t>(
      std::find(kAttributeKeys.begin(), kAttributeKeys.end(), lowerKey) - kAttributeKeys.begin());
}

}  // namespace

void DefinitionsDigest::Finish() {
  parser_.Finish();
  CloseAttributeSection();
  current_ = Current::kIgnored;
}

void DefinitionsDigest::OnSection(std::string_view name) {
  CloseAttributeSection();
  current_ = Current::kIgnored;
  if (name.size() == 7 && LowerAscii(name) == "general") {
    if (!generalSeen_) current_ = Current::kGeneral;
    generalSeen_ = true;
    return;
  }
  const int index = AttributeSectionIndex(name);
  if (index < 0 || !attributeSectionsSeen_.Insert(static_cast<std::uint32_t>(index))) return;
  current_ = Current::kAttribute;
  open_ = Candidate{index, {}};
}

void DefinitionsDigest::OnKey(std::string_view key, std::string_view value) {
  const std::string lower = LowerAscii(key);
  if (current_ == Current::kGeneral && lower == "max attributes" && !maxAttributes_) {
    maxAttributes_ = KeptValue(value);
  }
  if (current_ != Current::kAttribute) return;
  const std::size_t which = AttributeKeyIndex(lower);
  if (which < open_.keys.size() && !open_.keys[which]) open_.keys[which] = KeptValue(value);
}

// The section read is done: it stands for its id if no lower-numbered section has that id.
void DefinitionsDigest::CloseAttributeSection() {
  if (current_ != Current::kAttribute) return;
  const std::optional<std::string>& id = open_.keys[kIdKey];
  Candidate& lowest = lowestForId_[static_cast<std::size_t>((id ? EntryInt(*id, 0) : 0) & 0xFF)];
  if (lowest.index < 0 || open_.index < lowest.index) lowest = std::move(open_);
  open_ = Candidate{};
  current_ = Current::kIgnored;
}

const std::optional<std::string>* DefinitionsDigest::Find(std::string_view section,
                                                          std::string_view key) const {
  const std::string lowerKey = LowerAscii(key);
  if (LowerAscii(section) == "general") {
    return lowerKey == "max attributes" ? &maxAttributes_ : nullptr;
  }
  const int index = AttributeSectionIndex(section);
  const std::size_t which = AttributeKeyIndex(lowerKey);
  if (index < 0 || which == kAttributeKeys.size()) return nullptr;
  for (const Candidate& candidate : lowestForId_) {
    if (candidate.index == index) return &candidate.keys[which];
  }
  return nullptr;
}

int DefinitionsDigest::GetInt(std::string_view section, std::string_view key, int fallback) const {
  const std::optional<std::string>* value = Find(section, key);
  return value == nullptr || !*value ? fallback : EntryInt(**value, fallback);
}

std::string DefinitionsDigest::GetString(std::string_view section, std::string_view key) const {
  const std::optional<std::string>* value = Find(section, key);
  return value == nullptr || !*value ? std::string() : EntryString(**value);
}

std::vector<std::string> DefinitionsDigest::SectionNames() const {
  std::vector<int> indexes;
  for (const Candidate& candidate : lowestForId_) {
    if (candidate.index >= 0) indexes.push_back(candidate.index);
  }
  std::sort(indexes.begin(), indexes.end());
  std::vector<std::string> names;
  if (generalSeen_) names.emplace_back("General");
  for (const int index : indexes) names.push_back("Attrib" + std::to_string(index));
  return names;
}

}  // namespace trelmoss
