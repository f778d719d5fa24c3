#include "report/report_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "tests/report_checks.h"

namespace trelmoss {
namespace {

using test::EntriesIn;
using test::TempDir;

// Windows names a file without regard to case, with either slash.
TEST(NameTheSameFile, CaseAndSlashesDoNotMatter) {
  const TempDir folder;
  EXPECT_TRUE(NameTheSameFile(folder.File("Report.XML"), folder.path() + "/report.xml"));
  EXPECT_FALSE(NameTheSameFile(folder.File("report.xml"), folder.File("report.prom")));
}

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

// An earlier report is replaced by ReplaceFileA whatever its attributes, and nothing else is
// left in the folder. (Windows keeps the attributes too; Wine's ReplaceFileA does not carry
// them over, so that part cannot be checked here.)
TEST(WriteReportFile, ExistingReportIsReplacedWhole) {
  const TempDir folder;
  const std::string path = folder.File("report.xml");
  for (const DWORD attributes : {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_ARCHIVE},
                                 DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}}) {
    test::WriteFile(path, "earlier");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes));
    int error = 0;
    ASSERT_TRUE(WriteReportFile(path, "new", error)) << error;
    EXPECT_EQ(test::ReadFile(path), "new") << attributes;
    EXPECT_EQ(EntriesIn(folder.path()), 1u) << attributes;
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(DeleteFileA(path.c_str()));
  }
}

// A read-only report is not replaced: the earlier one stays whole and no temporary file is left.
TEST(WriteReportFile, ReadOnlyReportStaysAsItWas) {
  const TempDir folder;
  const std::string path = folder.File("report.xml");
  test::WriteFile(path, "earlier");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  int error = 0;
  EXPECT_FALSE(WriteReportFile(path, "new", error));
  EXPECT_NE(error, 0);
  EXPECT_EQ(test::ReadFile(path), "earlier");
  EXPECT_EQ(EntriesIn(folder.path()), 1u);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WriteReportFile, NulDeviceIsWrittenInPlace) {
  int error = 0;
  EXPECT_TRUE(WriteReportFile("NUL", "report", error));
  EXPECT_EQ(error, 0);
}

}  // namespace
}  // namespace trelmoss
