#include "model/ini_document.h"

#include <algorithm>
#include <cstdint>

namespace trelmoss {
namespace {

// The profile functions treat every byte up to the space as blank, CR included.
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' ' && c != '\0'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string_view StripMatchingQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// The profile functions read integers from a 30-character buffer.
constexpr std::size_t kIntegerTextLimit = 29;

}  // namespace

int ParseProfileInt(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::uint32_t base = 10;
  if (text.size() >= 2 && text[0] == '0') {
    if (text[1] == 'x') base = 16;
    if (text[1] == 'o') base = 8;
    if (text[1] == 'b') base = 2;
    if (base != 10) text.remove_prefix(2);
  }
  std::uint32_t total = 0;
  for (const char c : text) {
    const auto digit = static_cast<std::uint32_t>(DigitValue(c));
    if (digit >= base) break;
    total = total * base + digit;  // wraps modulo 2^32 by design
  }
  if (negative) total = 0u - total;
  return static_cast<int>(total);
}

IniDocument::IniDocument(std::string_view text) {
  constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    ParseLine(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  current_ = nullptr;
}

void IniDocument::ParseLine(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() == ';') return;
  if (line.front() == '[') {
    const std::size_t close = line.rfind(']');
    if (close != std::string_view::npos) {
      sections_.push_back(Section{std::string(line.substr(1, close - 1)), {}});
      const auto [first, inserted] =
          firstSectionByName_.try_emplace(LowerAscii(sections_.back().name), sections_.size() - 1);
      // Keys of a repeated section are never looked up: the first section of a name wins.
      current_ = inserted ? &sections_.back() : nullptr;
      return;
    }
  }
  const std::size_t equals = line.find('=');
  if (current_ == nullptr || equals == std::string_view::npos) return;
  const std::string_view key = Trim(line.substr(0, equals));
  const std::string_view value = Trim(line.substr(equals + 1));
  current_->values.try_emplace(LowerAscii(key), StripMatchingQuotes(value));
}

const std::string* IniDocument::FindValue(std::string_view section, std::string_view key) const {
  const auto found = firstSectionByName_.find(LowerAscii(section));
  if (found == firstSectionByName_.end()) return nullptr;
  const auto& values = sections_[found->second].values;
  const auto value = values.find(LowerAscii(key));
  return value == values.end() ? nullptr : &value->second;
}

int IniDocument::GetInt(std::string_view section, std::string_view key, int fallback) const {
  const std::string value = GetString(section, key);
  if (value.empty()) return fallback;
  return ParseProfileInt(std::string_view(value).substr(0, kIntegerTextLimit));
}

std::string IniDocument::GetString(std::string_view section, std::string_view key) const {
  const std::string* value = FindValue(section, key);
  if (value == nullptr) return {};
  // Values are handed out as C strings: a NUL ends them, and they fit a 1024-byte buffer.
  const std::size_t nul = std::min(value->find('\0'), value->size());
  return value->substr(0, std::min(nul, kMaxIniString));
}

std::vector<std::string> IniDocument::SectionNames() const {
  std::vector<std::string> names;
  names.reserve(sections_.size());
  for (const Section& section : sections_) names.push_back(section.name);
  return names;
}

}  // namespace trelmoss
