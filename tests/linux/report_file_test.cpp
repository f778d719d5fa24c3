#include "report/report_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
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

TEST(NameTheSameFile, LinksLeadToTheirTarget) {
  const TempDir folder;
  ::symlink("target.xml", folder.File("link.xml").c_str());  // dangling until written
  ::symlink(folder.path().c_str(), folder.File("here").c_str());
  EXPECT_TRUE(NameTheSameFile(folder.File("link.xml"), folder.File("target.xml")));
  EXPECT_TRUE(NameTheSameFile(folder.File("here/link.xml"), folder.File("target.xml")));
  WriteFile(folder.File("target.xml"), "x");
  EXPECT_TRUE(NameTheSameFile(folder.File("link.xml"), folder.File("target.xml")));
  const std::string cwd = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  EXPECT_TRUE(NameTheSameFile("target.xml", folder.File("link.xml")));
  std::filesystem::current_path(cwd);
}

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

// What an administrator set on the earlier report survives its replacement.
TEST(WriteReportFile, ReplacementKeepsModeOwnerAndExtendedAttributes) {
  const TempDir folder;
  const std::string path = folder.File("report.xml");
  for (const mode_t mode : {0600u, 0640u, 0604u, 0444u}) {
    WriteFile(path, "earlier");
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    const bool owned = ::geteuid() == 0 && ::chown(path.c_str(), 65534, 65534) == 0;
    ASSERT_EQ(::setxattr(path.c_str(), "user.kept", "yes", 3, 0), 0);
    int error = 0;
    ASSERT_TRUE(WriteReportFile(path, "new", error)) << error;
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, mode);
    if (owned) {
      EXPECT_EQ(status.st_uid, 65534u);
      EXPECT_EQ(status.st_gid, 65534u);
    }
    char value[8] = {};
    EXPECT_EQ(::getxattr(path.c_str(), "user.kept", value, sizeof value), 3);
    EXPECT_STREQ(value, "yes");
    EXPECT_EQ(ReadFile(path), "new");
  }
  EXPECT_EQ(EntriesIn(folder.path()), 1u);
}

// Another name of the earlier report keeps the earlier text: only this name gets the new one.
TEST(WriteReportFile, HardLinkedReportIsReplacedUnderItsOwnNameOnly) {
  const TempDir folder;
  WriteFile(folder.File("report.xml"), "earlier");
  std::filesystem::create_hard_link(folder.File("report.xml"), folder.File("other.xml"));
  int error = 0;
  ASSERT_TRUE(WriteReportFile(folder.File("report.xml"), "new", error));
  EXPECT_EQ(ReadFile(folder.File("report.xml")), "new");
  EXPECT_EQ(ReadFile(folder.File("other.xml")), "earlier");
}

// Links are followed to the file they name, whether it exists or not; the links stay links.
TEST(WriteReportFile, LinksAreFollowedToTheirTarget) {
  const TempDir folder;
  std::filesystem::create_directory(folder.File("sub"));
  struct Case {
    std::vector<std::pair<std::string, std::string>> links;  // name, what it points at
    std::string written;                                     // the file that gets the report
  };
  const Case cases[] = {
      {{{"dangling.xml", "target.xml"}}, "target.xml"},
      {{{"sub/rel.xml", "../up.xml"}}, "up.xml"},
      {{{"a.xml", "sub/b.xml"}, {"sub/b.xml", "c.xml"}}, "sub/c.xml"},
      {{{"abs.xml", folder.File("sub/abs-target.xml")}}, "sub/abs-target.xml"},
  };
  for (const Case& c : cases) {
    for (const auto& [name, to] : c.links) std::filesystem::create_symlink(to, folder.File(name));
    int error = 0;
    ASSERT_TRUE(WriteReportFile(folder.File(c.links.front().first), "new", error)) << error;
    EXPECT_EQ(ReadFile(folder.File(c.written)), "new") << c.written;
    for (const auto& link : c.links)
      EXPECT_TRUE(std::filesystem::is_symlink(folder.File(link.first)));
  }
}

TEST(WriteReportFile, LoopOfLinksIsItsOwnError) {
  const TempDir folder;
  std::filesystem::create_symlink("b.xml", folder.File("a.xml"));
  std::filesystem::create_symlink("a.xml", folder.File("b.xml"));
  int error = 0;
  EXPECT_FALSE(WriteReportFile(folder.File("a.xml"), "new", error));
  EXPECT_EQ(error, ELOOP);
  EXPECT_EQ(EntriesIn(folder.path()), 2u);
}

// The temporary name is short and fresh each time: the longest name the folder takes is a
// report name, and a leftover of a killed run is no obstacle.
TEST(WriteReportFile, LongestNameAndLeftoverTemporaryFiles) {
  const TempDir folder;
  WriteFile(folder.File(".trelmoss-AAAAAA"), "left by a killed run");
  const std::string longest = folder.File(std::string(251, 'n') + ".xml");
  for (int run = 0; run < 2; ++run) {
    int error = 0;
    EXPECT_TRUE(WriteReportFile(longest, "report", error)) << error;
  }
  EXPECT_EQ(ReadFile(longest), "report");
  EXPECT_EQ(EntriesIn(folder.path()), 2u);
}

TEST(WriteReportFile, DevicesAndPipesAreWrittenInPlace) {
  int error = 0;
  EXPECT_TRUE(WriteReportFile("/dev/null", "report", error));
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
}

}  // namespace
}  // namespace trelmoss
