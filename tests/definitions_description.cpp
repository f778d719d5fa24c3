#include "tests/definitions_description.h"

#include "model/console.h"
#include "model/drive_table.h"

namespace trelmoss::test {

std::string DescribeDefinitions(const DriveTable& table, const std::string& consoleText) {
  std::string description = "console: " + consoleText + "\n";
  for (const auto& [id, definition] : table.Definitions()) {
    description += "id=" + std::to_string(id) + " critical=" + std::to_string(definition.critical) +
                   " name=[" + definition.name + "] details=[" + definition.details + "]\n";
  }
  return description;
}

std::string LoadAndDescribe(const DefinitionsFile& file, const std::string& path) {
  Console console;
  const DriveTable table(file, path, console);
  return DescribeDefinitions(table, console.Text());
}

}  // namespace trelmoss::test
