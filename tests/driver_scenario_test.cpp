// The drives the Windows stage sets the test disk driver up with, run through the fake disks:
// the report kept here is the one trelmoss.exe must write through Wine and the driver.
#include "tests/driver_scenario.h"

#include <gtest/gtest.h>

#include "app/run.h"
#include "model/console.h"
#include "model/ini_document.h"
#include "tests/report_checks.h"

namespace trelmoss {
namespace {

TEST(DriverScenario, ProgramReport) {
  test::FakeDiskSystem disks = test::FakeDisksFor(test::ProgramScenario());
  std::string report;
  RunServices services;
  services.executablePath = "trelmoss";
  services.openIni = [](const std::string&) {
    return std::make_unique<IniDocument>(test::ReadFile(TRELMOSS_DEFAULT_INI));
  };
  services.disks = &disks;
  services.writeReport = [&report](const std::string&, std::string_view bytes, int&) {
    report = bytes;
    return true;
  };
  Console console;
  EXPECT_EQ(RunTrelmoss({"trelmoss", "report.xml"}, console, services), kStatusReportWritten);
  EXPECT_EQ(console.Text(), test::ProgramScenarioConsole());
  EXPECT_EQ(test::SchemaProblems(report), "");
  for (const char* expected :
       {"id=\"300\"", "error=\"Error 1117 reading thresholds SMART data\"",
        "error=\"Error 1 in reading basic SMART data\"", "serial=\"E2E-SATA-3\"",
        "serial=\"E2E-NVME-W\"", "<nvme critical_warning=\"2\" temperature=\"50\"",
        "error=\"Error 1 reading detailed SMART data\""}) {
    EXPECT_NE(report.find(expected), std::string::npos) << expected;
  }
  EXPECT_EQ(disks.mostOpenHandles, 1);
}

}  // namespace
}  // namespace trelmoss
