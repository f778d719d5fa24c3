// What the definitions loader can use of a definitions file, collected while the file streams by
// in memory that does not grow with the file. The loader reads "Max Attributes" of "General",
// then every "Attrib%d" section below it in ascending order, and of two sections with one
// attribute id keeps the lower: so of all "Attrib%d" sections only the lowest-numbered one of
// each id (of 256) can count. The collector keeps those, by number, with the four keys the loader
// reads, and remembers which section numbers it has met, since a repeated section's keys never
// count.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ini/ini_parser.h"
#include "model/definitions.h"
#include "model/index_set.h"

namespace trelmoss {

class DefinitionsCollector final : public DefinitionsFile, private IniSink {
 public:
  // The next piece of the file as it is stored; lines and characters may span pieces.
  void Feed(std::string_view piece) { parser_.Feed(piece); }
  // The end of the file.
  void Finish();

  int MaxAttributes() const override;
  std::vector<AttributeSection> AttributeSections(int limit) const override;

 private:
  // The first value of each key the loader reads of an attribute section, as kept.
  using AttributeKeys = std::array<std::optional<std::string>, 4>;
  struct Candidate {
    int number = -1;  // none yet
    AttributeKeys keys;
  };
  enum class Current { kIgnored, kGeneral, kAttribute };

  void OnSection(std::string_view name) override;
  void OnKey(std::string_view key, std::string_view keptValue) override;
  void CloseAttributeSection();

  // No section name the loader asks for is longer than "Attrib" and ten digits.
  IniParser parser_{*this, 16};
  Current current_ = Current::kIgnored;
  bool generalSeen_ = false;
  std::optional<std::string> maxAttributes_;
  IndexSet attributeSectionsSeen_;
  Candidate open_;                          // the attribute section being read
  std::array<Candidate, 256> lowestForId_;  // by attribute id
};

}  // namespace trelmoss
