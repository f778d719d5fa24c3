// Our own INI reader in full: every lookup answered as the Windows profile functions answer it
// (ini/ini_parser.h gives the rules of the lines), the tests' reference on every platform. It keeps
// only what a lookup can reach: the first section of each name, the first value of each key in it,
// and of each value only the bytes a lookup can hand out, so memory grows with the distinct
// sections and keys and with the longest line, not with the file.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ini/ini_parser.h"
#include "tests/ini_reader.h"

namespace trelmoss {

class IniDocument final : public IniReader, private IniSink {
 public:
  IniDocument() = default;
  explicit IniDocument(std::string_view file);

  // The next piece of the file as it is stored; lines and characters may span pieces.
  void Feed(std::string_view piece) { parser_.Feed(piece); }
  // The end of the file: its last line, if it had no line end, is read.
  void Finish() { parser_.Finish(); }

  int GetInt(std::string_view section, std::string_view key, int fallback) const override;
  std::string GetString(std::string_view section, std::string_view key) const override;
  // The names of the sections present, the first of each name only, in file order.
  std::vector<std::string> SectionNames() const override;

 private:
  struct Section {
    std::string name;
    std::unordered_map<std::string, std::string> values;  // lower-case key; first one wins
  };

  void OnSection(std::string_view name) override;
  void OnKey(std::string_view key, std::string_view value) override;
  const std::string* FindValue(std::string_view section, std::string_view key) const;

  IniParser parser_{*this};
  std::vector<Section> sections_;
  std::unordered_map<std::string, std::size_t> firstSectionByName_;  // lower-case name
  Section* current_ = nullptr;  // where key lines go; none in a repeated section
};

namespace test {

// Whether `file` starts with a byte-order mark, and so is converted.
bool HasByteOrderMark(std::string_view file);
// A whole file's text, as the reader converts it.
std::string ToSingleByteText(std::string_view file);

// Definitions text as the program's own reader collects it.
std::unique_ptr<DefinitionsFile> CollectedDefinitions(std::string_view text);

}  // namespace test

}  // namespace trelmoss
