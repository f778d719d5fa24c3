// --no-wake: a drive in standby is sent CHECK POWER MODE alone and listed as asleep; every other
// drive is read as without the option, after that one command.
#include <gtest/gtest.h>

#include "app/run.h"
#include "tests/report_checks.h"
#include "tests/whole_run.h"

namespace trelmoss {
namespace {

using test::Step;

test::WholeRun SleepersRun() {
  test::WholeRun run;
  run.definitions = "[General]\nMax Attributes=1\n[Attrib0]\nId=9\nName=Hours\n";
  run.disks.disks = {test::HealthyDisk("/dev/sda", 0), test::HealthyDisk("/dev/sdb", 1),
                     test::HealthyDisk("/dev/sdc", 2), test::HealthyNvmeDisk("/dev/nvme0n1", 3),
                     test::HealthyDisk("/dev/sdd", 4), test::HealthyDisk("/dev/vda", 5)};
  run.disks.disks[5].smartCommands = false;           // no ATA drive: never asked its mode
  run.disks.disks[0].powerMode = 0x00;                // standby
  run.disks.disks[1].powerMode = 0x01;                // standby by its own timer
  run.disks.disks[2].powerMode = 0x80;                // idle
  run.disks.disks[4].failures[Step::kPowerMode] = 5;  // no answer: read as usual
  return run;
}

TEST(NoWake, SleepingDrivesGetOneCommandAndTheRestOneMore) {
  test::WholeRun run = SleepersRun();
  EXPECT_EQ(run({"trelmoss", "--no-wake", "--prometheus", "m.prom", "r.xml"}),
            kStatusReportWritten);
  // The capability query is the driver's answer; the drive itself gets CHECK POWER MODE first.
  const std::vector<Step> asleep = {Step::kVersion, Step::kPowerMode};
  const std::vector<Step> read = {Step::kVersion,  Step::kPowerMode, Step::kEnable,
                                  Step::kIdentify, Step::kReadData,  Step::kReadThresholds};
  EXPECT_EQ(run.disks.StepsOf("/dev/sda"), asleep);
  EXPECT_EQ(run.disks.StepsOf("/dev/sdb"), asleep);
  EXPECT_EQ(run.disks.StepsOf("/dev/sdc"), read);
  EXPECT_EQ(run.disks.StepsOf("/dev/sdd"), read);
  EXPECT_EQ(run.disks.StepsOf("/dev/nvme0n1"),
            (std::vector<Step>{Step::kNvmeIdentity, Step::kNvmeHealth}));
  EXPECT_EQ(run.disks.StepsOf("/dev/vda"), std::vector<Step>{Step::kVersion});
  EXPECT_TRUE(run.disks.unexpected.empty());
  const std::string& report = run.written.at("r.xml");
  EXPECT_NE(report.find("<drive devicepath=\"/dev/sda\" id=\"0\" model=\"\" serial=\"\" "
                        "firmware=\"\" power=\"standby\"/>\r\n"),
            std::string::npos);
  EXPECT_EQ(report.find("error="), std::string::npos);
  EXPECT_EQ(test::SchemaProblems(report), "");
  const std::string& metrics = run.written.at("m.prom");
  EXPECT_NE(metrics.find("trelmoss_device_asleep{device=\"sdb\"} 1\n"), std::string::npos);
  EXPECT_NE(metrics.find("trelmoss_device_asleep{device=\"sdc\"} 0\n"), std::string::npos);
}

TEST(NoWake, WithoutTheOptionNoDriveIsAskedItsMode) {
  test::WholeRun run = SleepersRun();
  run({"trelmoss", "r.xml"});
  for (const auto& request : run.disks.requests) EXPECT_NE(request.step, Step::kPowerMode);
  EXPECT_EQ(run.written.at("r.xml").find("power="), std::string::npos);
}

}  // namespace
}  // namespace trelmoss
