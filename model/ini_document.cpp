#include "model/ini_document.h"

#include <algorithm>
#include <cstdint>

#include "model/ini_encoding.h"

namespace trelmoss {
namespace {

// The blanks of the profile functions: tab, LF, VT, FF, CR, ^Z (a DOS end of file) and space.
// Other control bytes are text.
bool IsBlank(char c) { return (c >= '\t' && c <= '\r') || c == '\x1A' || c == ' '; }

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

// Names and values are handed out as C strings: a NUL ends them.
std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

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

// A value as the profile functions copy it into a buffer of `size` bytes: cut at a NUL, then a
// quote that opens and closes it dropped. The closing quote is dropped only where the text
// after the opening one fits the buffer, so a quoted value of exactly that length loses its last
// character instead: a quirk of the real functions, kept so that both read a file alike.
std::string CopyEntry(std::string_view value, std::size_t size) {
  value = UpToNul(value);
  bool quoted = false;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    quoted = true;
    value.remove_prefix(1);
  }
  std::string copy(value.substr(0, size - 1));
  if (quoted && size >= value.size() && !copy.empty()) copy.pop_back();
  return copy;
}

// Names longer than any lookup asks for are kept cut, one byte past the longest one a caller
// hands in, so that they still match none.
std::string_view KeptName(std::string_view name) { return name.substr(0, kMaxIniString + 2); }

// What CopyEntry can ever hand out of a value: the bytes before a NUL, and of a longer value its
// first kMaxIniString + 2 bytes and its last one, which decide its quotes alike.
std::string KeptValue(std::string_view value) {
  value = UpToNul(value);
  constexpr std::size_t kKeptPrefix = kMaxIniString + 2;
  if (value.size() <= kKeptPrefix + 1) return std::string(value);
  std::string kept(value.substr(0, kKeptPrefix));
  kept.push_back(value.back());
  return kept;
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
  if (HasByteOrderMark(text)) {
    Feed(ToSingleByteText(text));
  } else {
    Feed(text);
  }
  Finish();
}

void IniDocument::Feed(std::string_view piece) {
  // A line ends at LF or CR, each alone or in any run (CR LF, or the lone CR of old Mac files).
  // A run split between pieces only makes an empty line, which means nothing.
  while (!piece.empty()) {
    std::size_t end = 0;
    while (end < piece.size() && !IsLineEnd(piece[end])) ++end;
    if (end == piece.size()) {
      pendingLine_.append(piece);
      return;
    }
    if (pendingLine_.empty()) {
      ParseLine(piece.substr(0, end));
    } else {
      pendingLine_.append(piece.substr(0, end));
      ParseLine(pendingLine_);
      std::string().swap(pendingLine_);  // a long line's buffer is not kept
    }
    while (end < piece.size() && IsLineEnd(piece[end])) ++end;
    piece.remove_prefix(end);
  }
}

void IniDocument::Finish() {
  if (!pendingLine_.empty()) ParseLine(pendingLine_);
  std::string().swap(pendingLine_);
  current_ = nullptr;
}

void IniDocument::ParseLine(std::string_view line) {
  line = Trim(line);
  if (line.empty()) return;
  // A comment (';') needs no rule of its own: it becomes a key whose name starts with ';', which
  // no lookup asks for.
  if (line.front() == '[') {
    const std::size_t close = line.rfind(']');
    if (close != std::string_view::npos) {
      // Blanks inside the brackets are trimmed; whatever follows the last ']' is ignored.
      const std::string_view name = KeptName(UpToNul(Trim(line.substr(1, close - 1))));
      const auto [first, inserted] =
          firstSectionByName_.try_emplace(LowerAscii(name), sections_.size());
      // Keys of a repeated section are never looked up: the first section of a name wins, and
      // a repeated one is not kept at all.
      current_ = nullptr;
      if (inserted) current_ = &sections_.emplace_back(Section{std::string(name), {}});
      return;
    }
  }
  if (current_ == nullptr) return;
  // A line without '=' is a key without a value: it reads as missing, yet as the first key of
  // its name it hides a later one.
  const std::size_t equals = line.find('=');
  const std::string_view key = Trim(line.substr(0, equals));
  const std::string_view value =
      equals == std::string_view::npos ? std::string_view() : Trim(line.substr(equals + 1));
  const auto [entry, inserted] = current_->values.try_emplace(LowerAscii(KeptName(UpToNul(key))));
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
  if (value == nullptr) return fallback;
  const std::string text = CopyEntry(*value, kIntegerTextLimit + 1);
  return text.empty() ? fallback : ParseProfileInt(text);
}

std::string IniDocument::GetString(std::string_view section, std::string_view key) const {
  const std::string* value = FindValue(section, key);
  return value == nullptr ? std::string() : CopyEntry(*value, kMaxIniString + 1);
}

std::vector<std::string> IniDocument::SectionNames() const {
  std::vector<std::string> names;
  names.reserve(sections_.size());
  for (const Section& section : sections_) names.push_back(section.name);
  return names;
}

}  // namespace trelmoss
