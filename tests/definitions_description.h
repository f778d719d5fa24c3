// The loaded definitions as text, one line a definition after the console output, so that two
// loaders (or a loader and an expected file) can be compared at a glance.
#pragma once

#include <string>

namespace trelmoss {
class DriveTable;
class IniReader;
}  // namespace trelmoss

namespace trelmoss::test {

std::string DescribeDefinitions(const DriveTable& table, const std::string& consoleText);
// The definitions `ini` loads to, described so, with the warning naming `iniPath`.
std::string LoadAndDescribe(const IniReader& ini, const std::string& iniPath);

}  // namespace trelmoss::test
