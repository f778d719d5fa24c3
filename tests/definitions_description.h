// The loaded definitions as text, one line a definition after the console output, so that two
// loaders (or a loader and an expected file) can be compared at a glance.
#pragma once

#include <string>

namespace trelmoss {
class DriveTable;
class DefinitionsFile;
}  // namespace trelmoss

namespace trelmoss::test {

std::string DescribeDefinitions(const DriveTable& table, const std::string& consoleText);
// The definitions `file` loads to, described so, with the warning naming `path`.
std::string LoadAndDescribe(const DefinitionsFile& file, const std::string& path);

}  // namespace trelmoss::test
