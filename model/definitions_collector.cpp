#include "model/definitions_collector.h"

#include <algorithm>
#include <cstdint>

namespace trelmoss {
namespace {

constexpr std::array<std::string_view, 4> kAttributeKeys = {"id", "critical", "name", "details"};
enum KeyIndex { kId, kCritical, kName, kDetails };

int IntOf(const std::optional<std::string>& kept) { return kept ? EntryInt(*kept, 0) : 0; }
std::string StringOf(const std::optional<std::string>& kept) {
  return kept ? EntryString(*kept) : std::string();
}

}  // namespace

void DefinitionsCollector::Finish() {
  parser_.Finish();
  CloseAttributeSection();
}

void DefinitionsCollector::OnSection(std::string_view name) {
  CloseAttributeSection();
  current_ = Current::kIgnored;
  if (name.size() == 7 && LowerAscii(name) == "general") {
    if (!generalSeen_) current_ = Current::kGeneral;
    generalSeen_ = true;
    return;
  }
  const int number = AttributeSectionIndex(name);
  if (number < 0 || !attributeSectionsSeen_.Insert(static_cast<std::uint32_t>(number))) return;
  current_ = Current::kAttribute;
  open_ = Candidate{number, {}};
}

void DefinitionsCollector::OnKey(std::string_view key, std::string_view keptValue) {
  const std::string lower = LowerAscii(key);
  if (current_ == Current::kGeneral && lower == "max attributes" && !maxAttributes_) {
    maxAttributes_ = keptValue;
  }
  if (current_ != Current::kAttribute) return;
  const auto which = static_cast<std::size_t>(
      std::find(kAttributeKeys.begin(), kAttributeKeys.end(), lower) - kAttributeKeys.begin());
  if (which < open_.keys.size() && !open_.keys[which]) open_.keys[which] = keptValue;
}

// The section read is done: it stands for its id if no lower-numbered section has that id.
void DefinitionsCollector::CloseAttributeSection() {
  if (current_ != Current::kAttribute) return;
  Candidate& lowest = lowestForId_[static_cast<std::size_t>(IntOf(open_.keys[kId]) & 0xFF)];
  if (lowest.number < 0 || open_.number < lowest.number) lowest = std::move(open_);
  open_ = Candidate{};
  current_ = Current::kIgnored;
}

int DefinitionsCollector::MaxAttributes() const {
  return maxAttributes_ ? EntryInt(*maxAttributes_, 0) : 0;
}

std::vector<AttributeSection> DefinitionsCollector::AttributeSections(int limit) const {
  std::vector<const Candidate*> counted;
  for (const Candidate& candidate : lowestForId_) {
    if (candidate.number >= 0 && candidate.number < limit) counted.push_back(&candidate);
  }
  std::sort(counted.begin(), counted.end(),
            [](const Candidate* a, const Candidate* b) { return a->number < b->number; });
  std::vector<AttributeSection> sections;
  for (const Candidate* candidate : counted) {
    const AttributeKeys& keys = candidate->keys;
    sections.push_back({IntOf(keys[kId]), IntOf(keys[kCritical]), StringOf(keys[kName]),
                        StringOf(keys[kDetails])});
  }
  return sections;
}

}  // namespace trelmoss
