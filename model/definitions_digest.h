// What the definitions loader can use of a definitions file, gathered while the file streams by
// in memory that does not grow with the file. The loader reads "Max Attributes" of "General",
// then every "Attrib%d" section below it in ascending order, and of two sections with one
// attribute id keeps the lower: so of all "Attrib%d" sections only the lowest-numbered one of
// each id (of 256) can count. The digest keeps those, with the four keys the loader reads, and
// remembers which section numbers it has met, since a repeated section's keys never count.
// It answers the loader's lookups as an IniDocument of the same file would; other lookups find
// nothing.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/index_set.h"
#include "model/ini_parser.h"
#include "model/ini_reader.h"

namespace trelmoss {

class DefinitionsDigest final : public IniReader, private IniSink {
 public:
  DefinitionsDigest() = default;

  // The next piece of the file as it is stored; lines and characters may span pieces.
  void Feed(std::string_view piece) { parser_.Feed(piece); }
  // The end of the file.
  void Finish();

  int GetInt(std::string_view section, std::string_view key, int fallback) const override;
  std::string GetString(std::string_view section, std::string_view key) const override;
  // "General" if present, then the attribute sections that can count, in ascending order.
  std::vector<std::string> SectionNames() const override;

 private:
  // The first value of each key the loader reads of an attribute section.
  using AttributeKeys = std::array<std::optional<std::string>, 4>;
  struct Candidate {
    int index = -1;  // none yet
    AttributeKeys keys;
  };
  enum class Current { kIgnored, kGeneral, kAttribute };

  void OnSection(std::string_view name) override;
  void OnKey(std::string_view key, std::string_view value) override;
  void CloseAttributeSection();
  const std::optional<std::string>* Find(std::string_view section, std::string_view key) const;

  IniParser parser_{*this};
  Current current_ = Current::kIgnored;
  bool generalSeen_ = false;
  std::optional<std::string> maxAttributes_;
  IndexSet attributeSectionsSeen_;
  Candidate open_;                          // the attribute section being read
  std::array<Candidate, 256> lowestForId_;  // by attribute id
};

}  // namespace trelmoss
