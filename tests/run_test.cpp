#include "app/run.h"

#include <gtest/gtest.h>

#include <map>

#include "model/console.h"
#include "tests/fake_disks.h"
#include "tests/report_checks.h"
#include "tests/whole_run.h"

namespace trelmoss {
namespace {

using test::FakeDiskSystem;
using test::HealthyDisk;

constexpr const char* kDefinitions =
    "[General]\nMax Attributes=2\n[Attrib0]\nId=1\nName=Raw Read Error Rate\n"
    "[Attrib1]\nId=9\nName=Power-On Hours\n";

// A whole run in-process over the two definitions above.
struct InProcessRun : test::WholeRun {
  InProcessRun() { definitions = kDefinitions; }
};

TEST(Run, NoArgumentPrintsUsageWithTheProgramName) {
  InProcessRun run;
  EXPECT_EQ(run({"./bin/trelmoss"}), -2);
  EXPECT_EQ(run.console.Text(), "Trelmoss v1.1\r\nusage: ./bin/trelmoss <output.xml>\r\n");
  EXPECT_TRUE(run.written.empty());
  EXPECT_TRUE(run.disks.opened.empty());
}

TEST(Run, MissingDefinitionsWarnFirst) {
  InProcessRun run;
  run.definitions = "";
  EXPECT_EQ(run({"trelmoss", "out.xml"}), 1);
  EXPECT_EQ(run.definitionsPathAsked, "/opt/trelmoss/bin/trelmoss.ini");
  EXPECT_EQ(run.console.Text(),
            "warning! can't open required /opt/trelmoss/bin/trelmoss.ini!!! \r\n"
            "Trelmoss v1.1\r\nTotal drives: 0\r\n");
}

TEST(Run, NoDrivesWritesTheEmptyReport) {
  InProcessRun run;
  EXPECT_EQ(run({"trelmoss", "out.xml", "ignored"}), 1);
  EXPECT_EQ(run.console.Text(), "Trelmoss v1.1\r\nTotal drives: 0\r\n");
  EXPECT_EQ(run.written.at("out.xml"),
            "<?xml version=\"1.0\" encoding=\"windows-1251\" ?>\r\n<smart/>\r\n");
}

TEST(Run, EnumerationFailureWritesNothing) {
  InProcessRun run;
  run.disks.listFails = true;
  EXPECT_EQ(run({"trelmoss", "out.xml"}), -2);
  EXPECT_EQ(run.console.Text(), "Trelmoss v1.1\r\nError enumerating physical drives");
  EXPECT_TRUE(run.written.empty());
}

TEST(Run, UnwritableReportIsReportedWithStatusMinusThree) {
  InProcessRun run;
  run.writeError = 13;
  EXPECT_EQ(run({"trelmoss", "/ro/out.xml"}), -3);
  EXPECT_EQ(run.console.Text(),
            "Trelmoss v1.1\r\nTotal drives: 0\r\ncan't write report /ro/out.xml  (Error 13)\r\n");
}

TEST(Run, HelpAndVersion) {
  InProcessRun help;
  EXPECT_EQ(help({"trelmoss", "--help"}), 0);
  EXPECT_EQ(help.console.Text().rfind(
                "Trelmoss v1.1\r\nusage: trelmoss [--no-wake] [--health] [--prometheus FILE] "
                "[--html FILE]\r\n          [--jobs N] [--deadline SECONDS] <output.xml>\r\n",
                0),
            0u);
  EXPECT_NE(help.console.Text().find("/opt/trelmoss/bin/trelmoss.ini"), std::string::npos);
  InProcessRun shortHelp;
  EXPECT_EQ(shortHelp({"trelmoss", "-h"}), 0);
  EXPECT_EQ(shortHelp.console.Text(), help.console.Text());
  InProcessRun version;
  EXPECT_EQ(version({"trelmoss", "--version"}), 0);
  EXPECT_EQ(version.console.Text(), "Trelmoss v1.1\r\n");
  EXPECT_TRUE(help.disks.opened.empty() && version.written.empty());
}

// Options come before the report path. A command line that would lose a report or leave a
// file unwritten unnoticed is refused before anything is read, with a line naming the fault.
TEST(Run, CommandLinesRefusedOrTaken) {
  const std::string usage = "usage: trelmoss <output.xml>\r\n";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string message;  // printed before the usage line, or after the drive count
    std::vector<std::string> written;
  } cases[] = {
      {{"--prom", "m.prom", "r.xml"}, -2, "unknown option --prom\r\n", {}},
      {{"--health", "--bogus", "r.xml"}, -2, "unknown option --bogus\r\n", {}},
      {{"--prometheus"}, -2, "option --prometheus needs a file\r\n", {}},
      {{"--prometheus", "m.prom"}, -2, "no report path\r\n", {}},
      {{"--no-wake"}, -2, "no report path\r\n", {}},
      {{"--prometheus", "", "r.xml"}, -2, "option --prometheus: empty path\r\n", {}},
      {{""}, -2, "empty report path\r\n", {}},
      {{"--health", ""}, -2, "empty report path\r\n", {}},
      {{"--prometheus", "same.xml", "same.xml"},
       -2,
       "the report and the metrics name the same file: same.xml and same.xml\r\n",
       {}},
      {{"--html", "", "r.xml"}, -2, "option --html: empty path\r\n", {}},
      {{"--html", "r.xml", "r.xml"},
       -2,
       "the report and the page name the same file: r.xml and r.xml\r\n",
       {}},
      {{"--prometheus", "m", "--html", "m", "r.xml"},
       -2,
       "the metrics and the page name the same file: m and m\r\n",
       {}},
      {{"--html", "p.html", "--prometheus", "m.prom", "r.xml"},
       1,
       "",
       {"m.prom", "p.html", "r.xml"}},
      {{"--jobs", "0", "r.xml"}, -2, "option --jobs takes a number from 1 to 32: 0\r\n", {}},
      {{"--jobs", "33", "r.xml"}, -2, "option --jobs takes a number from 1 to 32: 33\r\n", {}},
      {{"--deadline", "-5", "r.xml"},
       -2,
       "option --deadline takes a number of seconds from 1 to 86400: -5\r\n",
       {}},
      {{"--deadline"}, -2, "option --deadline needs a number\r\n", {}},
      {{"--jobs", "1", "--deadline", "86400", "r.xml"}, 1, "", {"r.xml"}},
      {{"r.xml", "--prometheus", "m.prom"}, 1, "", {"r.xml"}},  // the rest is ignored
      {{"--health", "--no-wake", "--prometheus", "m.prom", "r.xml"}, 1, "", {"m.prom", "r.xml"}},
  };
  for (const auto& c : cases) {
    InProcessRun run;
    std::vector<std::string> args = {"trelmoss"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(run(args), c.status) << c.message;
    const std::string expected = c.status == -2 ? "Trelmoss v1.1\r\n" + c.message + usage
                                                : "Trelmoss v1.1\r\nTotal drives: 0\r\n";
    EXPECT_EQ(run.console.Text(), expected);
    std::vector<std::string> written;
    for (const auto& file : run.written) written.push_back(file.first);
    EXPECT_EQ(written, c.written) << c.message;
  }
}

TEST(Run, WholeRunOverFakeDisks) {
  InProcessRun run;
  test::FakeDisk broken = HealthyDisk("/dev/sdb", 1);
  broken.failures[test::Step::kIdentify] = 5;
  test::FakeDisk absent = HealthyDisk("/dev/sdc", 2);
  absent.openError = 13;
  run.disks.disks = {HealthyDisk("/dev/sda", 0), broken, absent};
  EXPECT_EQ(run({"trelmoss", "r.xml"}), 1);
  EXPECT_EQ(run.console.Text(),
            "Trelmoss v1.1\r\ncan't open device /dev/sdc  (Error 13)Total drives: 2\r\n");
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"windows-1251\" ?>\r\n"
      "<smart>\r\n"
      "    <drive devicepath=\"/dev/sda\" id=\"0\" model=\"MODEL a\" serial=\"SERIAL\" "
      "firmware=\"FW 1.0\">\r\n"
      "        <attrib id=\"1\" name=\"Raw Read Error Rate\" value=\"100\" worst=\"99\" raw=\"0\" "
      "treshold=\"6\"/>\r\n"
      "        <attrib id=\"9\" name=\"Power-On Hours\" value=\"98\" worst=\"98\" raw=\"1234\" "
      "treshold=\"0\"/>\r\n"
      "    </drive>\r\n"
      "    <drive devicepath=\"/dev/sdb\" id=\"1\" model=\"\" serial=\"\" firmware=\"\" "
      "error=\"Error 5 in reading basic SMART data\">\r\n"
      "        <attrib id=\"1\" name=\"Raw Read Error Rate\" value=\"100\" worst=\"99\" raw=\"0\" "
      "treshold=\"6\"/>\r\n"
      "        <attrib id=\"9\" name=\"Power-On Hours\" value=\"98\" worst=\"98\" raw=\"1234\" "
      "treshold=\"0\"/>\r\n"
      "    </drive>\r\n"
      "</smart>\r\n";
  EXPECT_EQ(run.written.at("r.xml"), expected);
  EXPECT_EQ(test::SchemaProblems(expected), "");
}

}  // namespace
}  // namespace trelmoss
