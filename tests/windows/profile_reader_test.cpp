// The definitions files of ini_cases, read by the system's profile functions, must load exactly
// as our own reader loads them (their .expected files): one file means the same everywhere.
#include <gtest/gtest.h>

#include <filesystem>

#include "model/console.h"
#include "model/definitions.h"
#include "model/drive_table.h"
#include "tests/definitions_description.h"
#include "tests/report_checks.h"

namespace trelmoss {
namespace {

TEST(ProfileReader, CasesLoadAsOurReaderLoadsThem) {
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TRELMOSS_INI_CASES)) {
    if (entry.path().extension() != ".ini") continue;
    Console console;
    const DriveTable table(*OpenDefinitionsFile(std::filesystem::absolute(entry.path()).string()),
                           "/opt/trelmoss.ini", console);
    const std::string description = test::DescribeDefinitions(table, console.Text());
    std::filesystem::path expected = entry.path();
    expected.replace_extension(".expected");
    EXPECT_EQ(description, test::ReadFile(expected.string())) << entry.path();
    ++checked;
  }
  EXPECT_GE(checked, 10);
}

}  // namespace
}  // namespace trelmoss
