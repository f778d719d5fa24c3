// The drives the Windows stage sets the test disk driver up with, run through the fake disks:
// the report kept here is the one trelmoss.exe must write through Wine and the driver.
#include "tests/driver_scenario.h"

#include <gtest/gtest.h>

#include "app/run.h"
#include "model/console.h"
#include "tests/report_checks.h"
#include "tests/whole_run.h"

namespace trelmoss {
namespace {

TEST(DriverScenario, ProgramReport) {
  test::WholeRun run;
  run.executablePath = "trelmoss";
  run.definitions = test::ReadFile(TRELMOSS_DEFAULT_INI);
  run.disks = test::FakeDisksFor(test::ProgramScenario());
  EXPECT_EQ(run({"trelmoss", "--health", "--prometheus", "metrics.prom", "report.xml"}),
            kStatusReportWritten);
  EXPECT_EQ(run.console.Text(), test::ProgramScenarioConsole());
  const std::string report = run.written["report.xml"];
  EXPECT_EQ(test::SchemaProblems(report), "");
  for (const char* expected :
       {"id=\"300\"", "error=\"Error 1117 reading thresholds SMART data\"",
        "error=\"Error 1 in reading basic SMART data\"", "serial=\"E2E-SATA-3\"",
        "serial=\"E2E-NVME-W\"", "<nvme critical_warning=\"2\" temperature=\"50\"",
        "error=\"Error 1 reading detailed SMART data\""}) {
    EXPECT_NE(report.find(expected), std::string::npos) << expected;
  }
  EXPECT_LE(run.disks.mostOpenHandles, 7);  // a handle is open while its turn lasts: 7 open
  test::KeepReportForComparison(run.written["metrics.prom"], ".prom");
}

}  // namespace
}  // namespace trelmoss
