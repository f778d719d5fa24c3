// The attribute definitions file: where it is looked for, and what the loader reads of it, asked
// for by section number. Each platform reads the file by its own means (model/linux: our own
// reader into a DefinitionsCollector; model/windows: the profile functions).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trelmoss {

// The definitions file sits beside the executable under the same name with the extension "ini":
// the characters after the file name's last dot become "ini", and a name without a dot gets
// ".ini" appended.
std::string DefinitionsPathFor(const std::string& executablePath);

// The four keys of an "Attrib%d" section, as the profile functions read them.
struct AttributeSection {
  int id = 0;
  int critical = 0;
  std::string name;     // at most 1023 bytes
  std::string details;  // likewise
};

class DefinitionsFile {
 public:
  virtual ~DefinitionsFile() = default;
  // General's "Max Attributes", or 0 when the file, the section or the key is missing.
  virtual int MaxAttributes() const = 0;
  // The "Attrib%d" sections numbered 0 to limit - 1 that are present, in ascending order. A
  // reader may leave out a section whose id a lower-numbered one already has, since the first
  // definition of an id wins; absent sections would define only id 0, which no entry carries.
  virtual std::vector<AttributeSection> AttributeSections(int limit) const = 0;
};

// The platform's reader of the definitions file at `path`; a missing file reads as an empty one.
std::unique_ptr<DefinitionsFile> OpenDefinitionsFile(const std::string& path);

// The number that "Attrib%d" formats into `name` (compared without regard to ASCII case), or -1.
int AttributeSectionIndex(std::string_view name);
// The attribute section numbers below `limit` among `sectionNames`, ascending, each once.
std::vector<int> PresentAttributeSections(const std::vector<std::string>& sectionNames, int limit);

}  // namespace trelmoss
