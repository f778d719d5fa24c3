#include "ini/ini_parser.h"

#include <cstdint>

namespace trelmoss {
namespace {

// The blanks of the profile functions: tab, LF, VT, FF, CR, ^Z (a DOS end of file) and space.
// Other control bytes are text.
bool IsBlank(char c) { return (c >= '\t' && c <= '\r') || c == '\x1A' || c == ' '; }

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

// A kept value (which a NUL already ended) as the profile functions copy it into a buffer of
// `size` bytes: a quote that opens and closes it dropped. The closing quote is dropped only where
// the text after the opening one fits the buffer, so a quoted value of exactly that length loses
// its last character instead: a quirk of the real functions, kept so that both read a file alike.
std::string CopyEntry(std::string_view value, std::size_t size) {
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

void ShownText::Add(char c) {
  if (ended_) return;
  if (c == '\0') {
    ended_ = true;
    return;
  }
  if (!started_ && IsBlank(c)) return;
  started_ = true;
  if (kept_.size() < room_) kept_.push_back(c);
  ++length_;
  if (!IsBlank(c)) {
    contentEnd_ = length_;
    lastContent_ = c;
  }
  last_ = c;
}

void ShownText::Clear() {
  std::string().swap(kept_);  // a long line's buffer is not kept
  length_ = contentEnd_ = 0;
  last_ = lastContent_ = 0;
  started_ = ended_ = false;
}

std::string_view ShownText::Prefix(std::size_t length) const {
  return std::string_view(kept_).substr(0, length);
}

std::string ShownText::KeptValue() const {
  constexpr std::size_t kKeptPrefix = kMaxIniString + 2;
  const std::size_t length = Length();
  if (length <= kKeptPrefix + 1) return std::string(Prefix(length));
  // The last byte: of a text a NUL ends, the one before the NUL; otherwise the last non-blank.
  std::string kept(Prefix(kKeptPrefix));
  kept.push_back(ended_ ? last_ : lastContent_);
  return kept;
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
  EndLine();
}

// A line ends at LF or CR, each alone or in any run (CR LF, or the lone CR of old Mac files);
// a run makes empty lines, which mean nothing.
void IniParser::FeedText(std::string_view text) {
  for (const char c : text) {
    if (IsLineEnd(c)) {
      EndLine();
    } else {
      Take(c);
    }
  }
}

// A line that starts with '[' is a section line if a ']' follows, else a key line; both
// readings are followed until its end tells.
void IniParser::Take(char c) {
  if (line_ == Line::kEmpty) {
    if (IsBlank(c)) return;
    line_ = c == '[' ? Line::kBracket : Line::kKey;
    if (line_ == Line::kBracket) {
      key_.Add(c);
      return;
    }
  }
  if (line_ == Line::kBracket && c == ']') {
    nameAtLastClose_ = name_.Length();
    closed_ = true;
  }
  if (line_ == Line::kBracket) name_.Add(c);
  if (equals_) {
    value_.Add(c);
  } else if (c == '=') {
    equals_ = true;
  } else {
    key_.Add(c);
  }
}

void IniParser::EndLine() {
  if (line_ == Line::kBracket && closed_) {
    // Blanks inside the brackets are trimmed; whatever follows the last ']' is ignored.
    sink_.OnSection(name_.Prefix(nameAtLastClose_));
    inSection_ = true;
  } else if (line_ != Line::kEmpty && inSection_) {
    sink_.OnKey(key_.Prefix(key_.Length()), equals_ ? value_.KeptValue() : std::string());
  }
  line_ = Line::kEmpty;
  name_.Clear();
  key_.Clear();
  value_.Clear();
  closed_ = equals_ = false;
  nameAtLastClose_ = 0;
}

}  // namespace trelmoss
