#include "model/ini_document.h"

namespace trelmoss {

IniDocument::IniDocument(std::string_view file) {
  Feed(file);
  Finish();
}

void IniDocument::OnSection(std::string_view name) {
  const auto [first, inserted] =
      firstSectionByName_.try_emplace(LowerAscii(name), sections_.size());
  // Keys of a repeated section are never looked up: the first section of a name wins, and a
  // repeated one is not kept at all.
  current_ = nullptr;
  if (inserted) current_ = &sections_.emplace_back(Section{std::string(name), {}});
}

void IniDocument::OnKey(std::string_view key, std::string_view value) {
  if (current_ == nullptr) return;
  // A key without a value reads as missing, yet as the first key of its name it hides a later one.
  const auto [entry, inserted] = current_->values.try_emplace(LowerAscii(key));
  if (inserted) entry->second = KeptValue(value);
}

const std::string* IniDocument::FindValue(std::string_view section, std::string_view key) const {
  const auto found = firstSectionByName_.find(LowerAscii(section));
  if (found == firstSectionByName_.end()) return nullptr;
  const auto& values = sections_[found->second].values;
  const auto value = values.find(LowerAscii(key));
  return value == values.end() ? nullptr : &value->second;
}

int IniDocument::GetInt(std::string_view section, std::string_view key, int fallback) const {
  const std::string* value = FindValue(section, key);
  return value == nullptr ? fallback : EntryInt(*value, fallback);
}

std::string IniDocument::GetString(std::string_view section, std::string_view key) const {
  const std::string* value = FindValue(section, key);
  return value == nullptr ? std::string() : EntryString(*value);
}

std::vector<std::string> IniDocument::SectionNames() const {
  std::vector<std::string> names;
  names.reserve(sections_.size());
  for (const Section& section : sections_) names.push_back(section.name);
  return names;
}

}  // namespace trelmoss
