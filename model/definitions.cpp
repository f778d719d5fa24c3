#include "model/definitions.h"

#include <algorithm>
#include <cstdio>

#include "model/console.h"
#include "model/drive_table.h"
#include "model/ini_reader.h"

namespace trelmoss {
namespace {

bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

int AttributeSectionIndex(std::string_view name) {
  constexpr std::string_view kPrefix = "attrib";
  if (name.size() <= kPrefix.size() || name.size() > kPrefix.size() + 10) return -1;
  for (std::size_t i = 0; i < kPrefix.size(); ++i) {
    const char c = name[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kPrefix[i]) return -1;
  }
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
  const std::size_t nameStart = [&] {
    const auto separator =
        std::find_if(executablePath.rbegin(), executablePath.rend(), IsPathSeparator);
    return static_cast<std::size_t>(executablePath.rend() - separator);
  }();
  const std::size_t dot = executablePath.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return executablePath + ".ini";
  return executablePath.substr(0, dot + 1) + "ini";
}

std::vector<int> PresentAttributeSections(const std::vector<std::string>& sectionNames,
                                          int maxAttributes) {
  std::vector<int> indexes;
  for (const std::string& name : sectionNames) {
    const int index = AttributeSectionIndex(name);
    if (index >= 0 && index < maxAttributes) indexes.push_back(index);
  }
  std::sort(indexes.begin(), indexes.end());
  indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
  return indexes;
}

void DriveTable::LoadDefinitions(const IniReader& ini, const std::string& iniPath,
                                 Console& console) {
  definitions_.clear();
  const int maxAttributes = ini.GetInt("General", "Max Attributes", 0);
  if (maxAttributes == 0) {
    PrintMessage(console, "warning! can't open required %s!!! \r\n", iniPath.c_str());
  }
  for (const int index : PresentAttributeSections(ini.SectionNames(), maxAttributes)) {
    char section[32];
    std::snprintf(section, sizeof section, "Attrib%d", index);
    AttributeDefinition definition;
    definition.id = static_cast<std::uint8_t>(ini.GetInt(section, "Id", 0) & 0xFF);
    definition.critical = ini.GetInt(section, "Critical", 0);
    definition.name = ini.GetString(section, "Name");
    definition.details = ini.GetString(section, "Details");
    AddDefinition(std::move(definition));
  }
}

}  // namespace trelmoss
