// What saving a report means on every platform: an earlier report is replaced whole, written
// as bytes (no second CR), and no temporary file stays behind.
#include "report/report_file.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace trelmoss
