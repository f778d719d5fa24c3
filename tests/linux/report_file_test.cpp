#include "report/report_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>

#include "tests/report_checks.h"

namespace trelmoss {
namespace {

using test::EntriesIn;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(WriteReportFile, NewReportGetsTheUsualPermissions) {
  const TempDir folder;
  const mode_t previous = ::umask(022);
  int error = 0;
  ASSERT_TRUE(WriteReportFile(folder.File("r.xml"), "x", error));
  ::umask(previous);
  struct stat status {};
  ASSERT_EQ(::stat(folder.File("r.xml").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0644u);
}

TEST(WriteReportFile, FailuresTable) {
  const TempDir folder;
  std::filesystem::create_directory(folder.File("adir"));
  struct Case {
    std::string path;
    int error;
  };
  const Case cases[] = {
      {folder.File("missing/r.xml"), ENOENT},
      {folder.File("adir"), EISDIR},
      {folder.File(std::string(300, 'n') + ".xml"), ENAMETOOLONG},
      {"", ENOENT},
      {"/dev/full", ENOSPC},
  };
  for (const Case& c : cases) {
    int error = 0;
    EXPECT_FALSE(WriteReportFile(c.path, "report", error)) << c.path;
    EXPECT_EQ(error, c.error) << c.path;
  }
  EXPECT_EQ(EntriesIn(folder.path()), 1u);
}

// A write that fails half-way (here the file-size limit, which binds root too) must leave the
// earlier report whole and no temporary file behind.
TEST(WriteReportFile, FailedWriteKeepsTheEarlierReport) {
  const TempDir folder;
  const std::string path = folder.File("report.xml");
  WriteFile(path, "earlier");
  rlimit previous{};
  ::getrlimit(RLIMIT_FSIZE, &previous);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = previous;
  small.rlim_cur = 100;
  ::setrlimit(RLIMIT_FSIZE, &small);
  int error = 0;
  const bool written = WriteReportFile(path, std::string(10000, 'x'), error);
  ::setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(error, EFBIG);
  EXPECT_EQ(ReadFile(path), "earlier");
  EXPECT_EQ(EntriesIn(folder.path()), 1u);
}

TEST(WriteReportFile, SymbolicLinkKeepsPointingAtTheReplacedReport) {
  const TempDir folder;
  WriteFile(folder.File("real.xml"), "old");
  std::filesystem::create_symlink(folder.File("real.xml"), folder.File("link.xml"));
  int error = 0;
  ASSERT_TRUE(WriteReportFile(folder.File("link.xml"), "new", error));
  EXPECT_TRUE(std::filesystem::is_symlink(folder.File("link.xml")));
  EXPECT_EQ(ReadFile(folder.File("real.xml")), "new");
}

TEST(WriteReportFile, DevicesAndPipesAreWrittenInPlace) {
  int error = 0;
  EXPECT_TRUE(WriteReportFile("/dev/null", "report", error));
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
}

}  // namespace
}  // namespace trelmoss
