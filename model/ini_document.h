// Our own INI reader. It parses from text, so tests need no files, and answers like the Windows
// profile functions so that one definitions file means the same on every platform:
// - a line ends at LF or CR, alone or in runs; blanks are tab, LF, VT, FF, CR, ^Z and space;
// - a section line starts with '[' and ends at its last ']'; the name between is trimmed;
// - section and key names compare without regard to ASCII case; NUL ends a name or a value;
// - blanks around keys and values are trimmed, and matching quotes around a value dropped;
// - a key line without '=' is a key without a value, which reads as missing;
// - the first section of a name, and the first key of a name within it, win;
// - a comment (';') is a key no lookup asks for; there are no inline comments;
// - a file with a UTF-8 or UTF-16 byte-order mark is read as windows-1251 (model/ini_encoding.h).
// It reads a stream piece by piece (Feed, then Finish) and keeps only what a lookup can reach:
// the first section of each name, the first value of each key in it, and of each value only the
// bytes a lookup can hand out, so memory grows with the distinct sections and keys and with the
// longest line, not with the file.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/ini_reader.h"

namespace trelmoss {

class IniDocument final : public IniReader {
 public:
  IniDocument() = default;
  explicit IniDocument(std::string_view text);

  // The next piece of a plain file (one without a byte-order mark); lines may span pieces.
  void Feed(std::string_view piece);
  // The end of the file: its last line, if it had no line end, is read.
  void Finish();

  int GetInt(std::string_view section, std::string_view key, int fallback) const override;
  std::string GetString(std::string_view section, std::string_view key) const override;
  // The names of the sections present, the first of each name only, in file order.
  std::vector<std::string> SectionNames() const override;

 private:
  struct Section {
    std::string name;
    std::unordered_map<std::string, std::string> values;  // lower-case key; first one wins
  };

  void ParseLine(std::string_view line);
  const std::string* FindValue(std::string_view section, std::string_view key) const;

  std::vector<Section> sections_;
  std::unordered_map<std::string, std::size_t> firstSectionByName_;  // lower-case name
  Section* current_ = nullptr;  // where key lines go while parsing
  std::string pendingLine_;     // the start of a line that the next piece goes on with
};

// Integer syntax of the profile functions: optional blanks, optional sign, then digits up to the
// first one that does not belong: decimal, or hexadecimal after "0x" (octal after "0o", binary
// after "0b"). No digit reads as 0; overflow wraps as 32-bit unsigned arithmetic does.
int ParseProfileInt(std::string_view text);

}  // namespace trelmoss
