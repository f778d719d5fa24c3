// What saving a report means on every platform: an earlier report is replaced whole, written
// as bytes (no second CR), and no temporary file stays behind.
#include "report/report_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/report_checks.h"

namespace trelmoss {
namespace {

TEST(WriteReportFile, ReplacesAnEarlierReportWholly) {
  const test::TempDir folder;
  const std::string path = folder.File("report.xml");
  test::WriteFile(path, std::string(10000, 'x'));
  int error = -1;
  ASSERT_TRUE(WriteReportFile(path, "new\r\n", error));
  EXPECT_EQ(error, 0);
  EXPECT_EQ(test::ReadFile(path), "new\r\n");
  EXPECT_EQ(test::EntriesIn(folder.path()), 1u);
}

// Two names of one file, existing or not yet, are one file; the platform's own spellings
// (links, case, slashes) are checked beside it.
TEST(NameTheSameFile, NamesOfOneFile) {
  const test::TempDir folder;
  std::filesystem::create_directory(folder.File("sub"));
  test::WriteFile(folder.File("old.xml"), "x");
  std::filesystem::create_hard_link(folder.File("old.xml"), folder.File("hard.xml"));
  const struct {
    std::string first, second;
    bool same;
  } cases[] = {
      {folder.File("new.xml"), folder.File("new.xml"), true},
      {folder.File("new.xml"), folder.File("sub/../new.xml"), true},
      {folder.File("new.xml"), folder.File("./new.xml"), true},
      {folder.File("old.xml"), folder.File("hard.xml"), true},
      {folder.File("new.xml"), folder.File("sub/new.xml"), false},
      {folder.File("old.xml"), folder.File("new.xml"), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NameTheSameFile(c.first, c.second), c.same) << c.first << " " << c.second;
  }
}

}  // namespace
}  // namespace trelmoss
