#include "tests/ini_document.h"

#include <cstdio>

#include "model/definitions_collector.h"

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
  if (inserted) entry->second = value;
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

std::vector<AttributeSection> ReaderDefinitions::AttributeSections(int limit) const {
  std::vector<AttributeSection> sections;
  for (const int number : PresentAttributeSections(reader_.SectionNames(), limit)) {
    char section[32];
    std::snprintf(section, sizeof section, "Attrib%d", number);
    sections.push_back({reader_.GetInt(section, "Id", 0), reader_.GetInt(section, "Critical", 0),
                        reader_.GetString(section, "Name"), reader_.GetString(section, "Details")});
  }
  return sections;
}

bool test::HasByteOrderMark(std::string_view file) {
  return file.starts_with("\xEF\xBB\xBF") || file.starts_with("\xFF\xFE") ||
         file.starts_with("\xFE\xFF");
}

std::string test::ToSingleByteText(std::string_view file) {
  SingleByteDecoder decoder;
  std::string text = decoder.Next(file);
  return text + decoder.Finish();
}

std::unique_ptr<DefinitionsFile> test::CollectedDefinitions(std::string_view text) {
  auto collector = std::make_unique<DefinitionsCollector>();
  collector->Feed(text);
  collector->Finish();
  return collector;
}

}  // namespace trelmoss
