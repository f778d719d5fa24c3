// An INI reader that reads a file piece by piece and tells a sink each section line and key line
// as the Windows profile functions see them, so that one file means the same on every platform:
// - a file with a UTF-8 or UTF-16 byte-order mark is read as windows-1251 (ini/ini_encoding.h);
// - a line ends at LF or CR, alone or in runs; blanks are tab, LF, VT, FF, CR, ^Z and space;
// - a section line starts with '[' and ends at its last ']'; the name between is trimmed;
// - NUL ends a name or a value; blanks around keys and values are trimmed;
// - a key line without '=' is a key with an empty value;
// - a comment (';') is a key no lookup asks for; there are no inline comments.
// Lines stream too: of a line only what a lookup can use is kept (ShownText), so memory does not
// grow with the longest line. What is kept of the lines is the sink's business.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

#include "ini/ini_encoding.h"

namespace trelmoss {

// Longest string value handed out: what fits a 1024-byte buffer with its terminating NUL.
inline constexpr std::size_t kMaxIniString = 1023;
// Keys longer than any lookup asks for are kept cut, one byte past the longest one a caller
// hands in, so that they still match none.
inline constexpr std::size_t kKeptNameBytes = kMaxIniString + 2;

class IniSink {
 public:
  virtual ~IniSink() = default;
  // A section line's name, trimmed and cut at a NUL (and to the parser's name room).
  virtual void OnSection(std::string_view name) = 0;
  // A key line within a section: its key trimmed, cut at a NUL and to kKeptNameBytes, and what a
  // lookup can hand out of its value (see KeptValue).
  virtual void OnKey(std::string_view key, std::string_view keptValue) = 0;
};

// A name or value as it streams by: blanks before it skipped, a NUL ending it, its first `room`
// bytes kept, and what trimming its end needs.
class ShownText {
 public:
  explicit ShownText(std::size_t room) : room_(room) {}
  void Add(char c);
  void Clear();
  // Its length once trimmed and cut at a NUL.
  std::size_t Length() const { return ended_ ? length_ : contentEnd_; }
  // Its first bytes, up to `length` and the room.
  std::string_view Prefix(std::size_t length) const;
  // The value as kept for lookups: the bytes before a NUL, and of a longer value its first
  // kMaxIniString + 2 bytes and its last one, which decide its quotes alike.
  std::string KeptValue() const;

 private:
  std::size_t room_;
  std::string kept_;
  std::size_t length_ = 0;      // bytes since the first non-blank one
  std::size_t contentEnd_ = 0;  // ... up to the last non-blank one
  char last_ = 0;               // the last byte before a NUL
  char lastContent_ = 0;        // the last non-blank byte
  bool started_ = false;
  bool ended_ = false;  // a NUL was met
};

class IniParser {
 public:
  // A section name longer than `nameRoom` bytes is handed out cut to nameRoom + 1 bytes, which
  // still matches no name of that length or less.
  static constexpr std::size_t kWholeNames = std::numeric_limits<std::size_t>::max() - 1;
  explicit IniParser(IniSink& sink, std::size_t nameRoom = kWholeNames)
      : sink_(sink), name_(nameRoom + 1) {}
  IniParser(const IniParser&) = delete;
  IniParser& operator=(const IniParser&) = delete;

  // The next piece of the file as it is stored; lines and characters may span pieces.
  void Feed(std::string_view piece);
  // The end of the file: its last line, if it had no line end, is read.
  void Finish();

 private:
  enum class Line { kEmpty, kBracket, kKey };
  void FeedText(std::string_view text);
  void Take(char c);
  void EndLine();

  IniSink& sink_;
  SingleByteDecoder decoder_;
  bool inSection_ = false;  // key lines before the first section belong to none
  Line line_ = Line::kEmpty;
  ShownText name_;                   // after the '[' of a line that starts with one
  std::size_t nameAtLastClose_ = 0;  // the name's length at its last ']'
  bool closed_ = false;
  ShownText key_{kKeptNameBytes};
  ShownText value_{kMaxIniString + 3};
  bool equals_ = false;
};

// A name with ASCII letters in lower case: names compare without regard to ASCII case.
std::string LowerAscii(std::string_view text);

// What the profile functions hand out of a kept value: the string, cut to kMaxIniString bytes,
// and the integer, `fallback` for an empty value.
std::string EntryString(std::string_view kept);
int EntryInt(std::string_view kept, int fallback);

// Integer syntax of the profile functions: optional blanks, optional sign, then digits up to the
// first one that does not belong: decimal, or hexadecimal after "0x" (octal after "0o", binary
// after "0b"). No digit reads as 0; overflow wraps as 32-bit unsigned arithmetic does.
int ParseProfileInt(std::string_view text);

}  // namespace trelmoss
