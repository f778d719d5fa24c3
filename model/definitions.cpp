#include "model/definitions.h"

#include <algorithm>
#include <cstdio>

#include "ini/ini_parser.h"
#include "model/console.h"
#include "model/drive_table.h"

namespace trelmoss {

int AttributeSectionIndex(std::string_view name) {
  constexpr std::string_view kPrefix = "attrib";
  if (name.size() <= kPrefix.size() || name.size() > kPrefix.size() + 10) return -1;
  if (LowerAscii(name.substr(0, kPrefix.size())) != kPrefix) return -1;
  long long index = 0;
  for (std::size_t i = kPrefix.size(); i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    index = index * 10 + (name[i] - '0');
  }
  const std::string_view digits = name.substr(kPrefix.size());
  if (index > 0x7FFFFFFF || std::to_string(index) != digits) return -1;  // no leading zeros
  return static_cast<int>(index);
}

std::string DefinitionsPathFor(const std::string& executablePath) {
  const std::size_t nameStart = executablePath.find_last_of("/\\") + 1;  // 0 without a folder
  const std::size_t dot = executablePath.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return executablePath + ".ini";
  return executablePath.substr(0, dot + 1) + "ini";
}

std::vector<int> PresentAttributeSections(const std::vector<std::string>& sectionNames, int limit) {
  std::vector<int> indexes;
  for (const std::string& name : sectionNames) {
    const int index = AttributeSectionIndex(name);
    if (index >= 0 && index < limit) indexes.push_back(index);
  }
  std::sort(indexes.begin(), indexes.end());
  indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
  return indexes;
}

void DriveTable::LoadDefinitions(const DefinitionsFile& file, const std::string& path,
                                 Console& console) {
  definitions_.clear();
  const int maxAttributes = file.MaxAttributes();
  if (maxAttributes == 0) {
    PrintMessage(console, "warning! can't open required %s!!! \r\n", path.c_str());
  }
  for (AttributeSection& section : file.AttributeSections(maxAttributes)) {
    AttributeDefinition definition;
    definition.id = static_cast<std::uint8_t>(section.id & 0xFF);
    definition.critical = section.critical;
    definition.name = std::move(section.name);
    definition.details = std::move(section.details);
    AddDefinition(std::move(definition));
  }
}

}  // namespace trelmoss
