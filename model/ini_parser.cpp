#include "model/ini_parser.h"

#include <cstdint>

#include "model/ini_reader.h"

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

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// The profile functions read integers from a 30-character buffer.
constexpr std::size_t kIntegerTextLimit = 29;

}  // namespace

std::string_view KeptName(std::string_view name) { return name.substr(0, kMaxIniString + 2); }

std::string KeptValue(std::string_view value) {
  value = UpToNul(value);
  constexpr std::size_t kKeptPrefix = kMaxIniString + 2;
  if (value.size() <= kKeptPrefix + 1) return std::string(value);
  std::string kept(value.substr(0, kKeptPrefix));
  kept.push_back(value.back());
  return kept;
}

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string EntryString(std::string_view kept) { return CopyEntry(kept, kMaxIniString + 1); }

int EntryInt(std::string_view kept, int fallback) {
  const std::string text = CopyEntry(kept, kIntegerTextLimit + 1);
  return text.empty() ? fallback : ParseProfileInt(text);
}

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

void IniParser::Feed(std::string_view piece) {
  if (decoder_.PassesThrough()) {
    FeedText(piece);  // the common case: no copy of the piece
  } else {
    FeedText(decoder_.Next(piece));
  }
}

void IniParser::Finish() {
  FeedText(decoder_.Finish());
  if (!pendingLine_.empty()) ParseLine(pendingLine_);
  std::string().swap(pendingLine_);
}

void IniParser::FeedText(std::string_view text) {
  // A line ends at LF or CR, each alone or in any run (CR LF, or the lone CR of old Mac files).
  // A run split between pieces only makes an empty line, which means nothing.
  while (!text.empty()) {
    std::size_t end = 0;
    while (end < text.size() && !IsLineEnd(text[end])) ++end;
    if (end == text.size()) {
      pendingLine_.append(text);
      return;
    }
    if (pendingLine_.empty()) {
      ParseLine(text.substr(0, end));
    } else {
      pendingLine_.append(text.substr(0, end));
      ParseLine(pendingLine_);
      std::string().swap(pendingLine_);  // a long line's buffer is not kept
    }
    while (end < text.size() && IsLineEnd(text[end])) ++end;
    text.remove_prefix(end);
  }
}

void IniParser::ParseLine(std::string_view line) {
  line = Trim(line);
  if (line.empty()) return;
  // A comment (';') needs no rule of its own: it becomes a key whose name starts with ';', which
  // no lookup asks for.
  if (line.front() == '[') {
    const std::size_t close = line.rfind(']');
    if (close != std::string_view::npos) {
      // Blanks inside the brackets are trimmed; whatever follows the last ']' is ignored.
      sink_.OnSection(UpToNul(Trim(line.substr(1, close - 1))));
      inSection_ = true;
      return;
    }
  }
  if (!inSection_) return;
  const std::size_t equals = line.find('=');
  const std::string_view key = Trim(line.substr(0, equals));
  const std::string_view value =
      equals == std::string_view::npos ? std::string_view() : Trim(line.substr(equals + 1));
  sink_.OnKey(KeptName(UpToNul(key)), value);
}

}  // namespace trelmoss
