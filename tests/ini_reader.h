// Read access to an INI file with the semantics of the Windows profile functions, lookup by
// lookup: the tests' reference, answered by the profile functions themselves or by our own
// reader in full (tests/ini_document.h), against which the program's readers are checked.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ini/ini_parser.h"
#include "model/definitions.h"

namespace trelmoss {

class IniReader {
 public:
  virtual ~IniReader() = default;
  // The key's integer value, or `fallback` when the file, section, key or value is missing.
  virtual int GetInt(std::string_view section, std::string_view key, int fallback) const = 0;
  // The key's text cut to kMaxIniString bytes, or "" when missing.
  virtual std::string GetString(std::string_view section, std::string_view key) const = 0;
  // The names of the sections present, in file order.
  virtual std::vector<std::string> SectionNames() const = 0;
};

// The definitions loader's view of a reader: what the definitions loader reads through it,
// asked by forming each "Attrib%d" name as the profile functions are asked.
class ReaderDefinitions final : public DefinitionsFile {
 public:
  explicit ReaderDefinitions(const IniReader& reader) : reader_(reader) {}
  int MaxAttributes() const override { return reader_.GetInt("General", "Max Attributes", 0); }
  std::vector<AttributeSection> AttributeSections(int limit) const override;

 private:
  const IniReader& reader_;
};

}  // namespace trelmoss
