// Where the definitions file is looked for, and how its sections are chosen.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trelmoss {

// The definitions file sits beside the executable under the same name with the extension "ini":
// the characters after the file name's last dot become "ini", and a name without a dot gets
// ".ini" appended.
std::string DefinitionsPathFor(const std::string& executablePath);

// The index that "Attrib%d" formats into `name` (compared without regard to ASCII case), or -1.
int AttributeSectionIndex(std::string_view name);

// The attribute section indexes below `maxAttributes` whose "Attrib%d" section is present, in
// ascending order. Absent sections would define only id 0, which no entry carries, so reading
// just these gives the same report in time proportional to the file.
std::vector<int> PresentAttributeSections(const std::vector<std::string>& sectionNames,
                                          int maxAttributes);

}  // namespace trelmoss
