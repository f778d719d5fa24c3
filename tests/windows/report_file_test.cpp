#include "report/report_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "tests/report_checks.h"

namespace trelmoss {
namespace {

using test::EntriesIn;
using test::TempDir;

TEST(WriteReportFile, FailuresLeaveNothingBehind) {
  const TempDir folder;
  std::filesystem::create_directory(folder.File("adir"));
  int error = 0;
  EXPECT_FALSE(WriteReportFile(folder.File("missing\\r.xml"), "report", error));
  EXPECT_EQ(error, ERROR_DIRECTORY);  // no folder to hold the temporary file
  EXPECT_FALSE(WriteReportFile(folder.File("adir"), "report", error));
  EXPECT_EQ(error, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(WriteReportFile("", "report", error));
  EXPECT_NE(error, 0);
  EXPECT_EQ(EntriesIn(folder.path()), 1u);
  EXPECT_TRUE(std::filesystem::is_empty(folder.File("adir")));
}

TEST(WriteReportFile, NulDeviceIsWrittenInPlace) {
  int error = 0;
  EXPECT_TRUE(WriteReportFile("NUL", "report", error));
  EXPECT_EQ(error, 0);
}

}  // namespace
}  // namespace trelmoss
