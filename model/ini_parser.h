// Our own INI reader's parsing half. It reads a definitions file piece by piece and tells a sink
// each section line and key line as the Windows profile functions see them, so that one file
// means the same on every platform:
// - a file with a UTF-8 or UTF-16 byte-order mark is read as windows-1251 (model/ini_encoding.h);
// - a line ends at LF or CR, alone or in runs; blanks are tab, LF, VT, FF, CR, ^Z and space;
// - a section line starts with '[' and ends at its last ']'; the name between is trimmed;
// - NUL ends a name or a value; blanks around keys and values are trimmed;
// - a key line without '=' is a key with an empty value;
// - a comment (';') is a key no lookup asks for; there are no inline comments.
// What is kept of the lines (the first section of a name, the first key of a name within it) is
// the sink's business: IniDocument keeps everything a lookup can reach, DefinitionsDigest only
// what the definitions loader asks for.
#pragma once

#include <string>
#include <string_view>

#include "model/ini_encoding.h"

namespace trelmoss {

class IniSink {
 public:
  virtual ~IniSink() = default;
  // A section line's name, trimmed and cut at a NUL.
  virtual void OnSection(std::string_view name) = 0;
  // A key line within a section: its key trimmed, cut at a NUL and to KeptName's length, and
  // its value trimmed.
  virtual void OnKey(std::string_view key, std::string_view value) = 0;
};

class IniParser {
 public:
  explicit IniParser(IniSink& sink) : sink_(sink) {}
  IniParser(const IniParser&) = delete;
  IniParser& operator=(const IniParser&) = delete;

  // The next piece of the file as it is stored; lines and characters may span pieces.
  void Feed(std::string_view piece);
  // The end of the file: its last line, if it had no line end, is read.
  void Finish();

 private:
  void FeedText(std::string_view text);
  void ParseLine(std::string_view line);

  IniSink& sink_;
  SingleByteDecoder decoder_;
  bool inSection_ = false;   // key lines before the first section belong to none
  std::string pendingLine_;  // the start of a line that the next piece goes on with
};

// Keys longer than any lookup asks for are kept cut, one byte past the longest one a caller
// hands in, so that they still match none.
std::string_view KeptName(std::string_view name);
// What a lookup can ever hand out of a value (see EntryString), so that a long value is not
// kept whole: the bytes before a NUL, and of a longer value its first kMaxIniString + 2 bytes and
// its last one, which decide its quotes alike.
std::string KeptValue(std::string_view value);
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
