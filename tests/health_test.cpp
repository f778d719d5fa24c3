// The verdict: from what was read to a state and its reasons, and what a run with --health sends
// each drive and writes.
#include <gtest/gtest.h>

#include "app/run.h"
#include "device/ata/ata_decoders.h"
#include "device/nvme/nvme_decoders.h"
#include "model/drive_table.h"
#include "tests/captured_sectors.h"
#include "tests/report_checks.h"
#include "tests/sector_images.h"
#include "tests/whole_run.h"

namespace trelmoss {
namespace {

using test::AttributeRow;
using test::Step;

constexpr std::uint16_t kOldAge = 0x0032;

std::array<std::uint8_t, 6> Raw(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value),
          static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16),
          0,
          0,
          0};
}

struct AtaCase {
  const char* expected;  // DescribeHealth of the verdict
  std::vector<AttributeRow> attributes;
  std::vector<test::ThresholdRow> thresholds;
  SmartStatus status = SmartStatus::kPassed;
  bool sectorsRead = true;
  std::uint8_t selfTest = 0;  // the data sector's self-test execution status
};

TEST(Health, AtaVerdictTable) {
  const AtaCase cases[] = {
      {"good", {{1, 100, 100, {}}}, {{1, 10}}},
      {"failing: smart_status_failed 1",
       {{1, 100, 100, {}}},
       {{1, 10}},
       SmartStatus::kThresholdExceeded},
      {"failing: prefail_at_threshold 10 (attribute 1)", {{1, 10, 10, {}}}, {{1, 10}}},
      {"warning: prefail_failed_in_past 10 (attribute 1)", {{1, 11, 10, {}}}, {{1, 10}}},
      {"warning: old_age_at_threshold 10 (attribute 1)", {{1, 10, 10, {}, kOldAge}}, {{1, 10}}},
      {"good", {{1, 11, 9, {}, kOldAge}}, {{1, 10}}},  // an old-age worst says nothing
      {"good", {{1, 1, 1, {}}}, {{1, 0}}},             // threshold 0 never fails
      {"failing: prefail_at_threshold 253 (attribute 1)", {{1, 253, 253, {}}}, {{1, 253}}},
      {"good", {{1, 100, 100, {}}}, {{1, 254}}},  // 254 is no threshold
      {"good", {{1, 0, 0, {}}}, {{1, 10}}},       // nor is 0 a value
      {"good", {{1, 5, 5, {}}}, {}},              // no threshold sent
      {"warning: reallocated_sectors 65535 (attribute 5)", {{5, 100, 100, Raw(65535)}}, {}},
      {"good", {{5, 100, 100, Raw(65536)}}, {}},  // packed vendor fields, not a count
      {"warning: reported_uncorrectable 1 (attribute 187), pending_sectors 2 (attribute 197), "
       "offline_uncorrectable 3 (attribute 198)",
       {{187, 100, 100, Raw(1)}, {197, 100, 100, Raw(2)}, {198, 100, 100, Raw(3)}},
       {}},
      {"good", {{5, 100, 100, Raw(8)}, {5, 100, 100, Raw(0)}}, {}},  // the later entry counts
      {"failing: smart_status_failed 1, reallocated_sectors 8 (attribute 5)",
       {{5, 100, 100, Raw(8)}},
       {},
       SmartStatus::kThresholdExceeded},
      {"good: smart_status_unavailable 1", {{1, 100, 100, {}}}, {{1, 10}}, SmartStatus::kUnknown},
      {"unknown", {}, {}, SmartStatus::kUnknown, false},
      {"unknown", {}, {}, SmartStatus::kNotAsked, false},
      {"good", {}, {}, SmartStatus::kPassed, false},
      {"failing: smart_status_failed 1", {}, {}, SmartStatus::kThresholdExceeded, false},
      {"good", {}, {}, SmartStatus::kPassed, false, 0x48},  // no data sector, no self-test
      {"warning: reallocation_events 1 (attribute 196)", {{196, 100, 100, Raw(1)}}, {}},
      {"warning: reallocation_events 65535 (attribute 196)", {{196, 100, 100, Raw(65535)}}, {}},
      {"good", {{196, 100, 100, Raw(0)}, {196, 100, 100, Raw(65536)}}, {}},
  };
  for (const AtaCase& c : cases) {
    DriveTable table;
    DriveRecord& drive = table.RegisterDrive("/dev/sda", 0);
    if (c.sectorsRead) {
      test::SectorImage data = test::AttributeSector(c.attributes);
      data[363] = c.selfTest;
      DecodeAttributes(table, 0, data);
      DecodeThresholds(table, 0, test::ThresholdSector(c.thresholds));
    }
    drive.smartSectorsRead = c.sectorsRead;
    drive.smartStatus = c.status;
    EXPECT_EQ(DescribeHealth(JudgeDrive(table, 0)), c.expected);
  }
}

// The captured drives' own sectors, each status byte written in: only a failed element changes
// the verdict, and the read element only to a warning.
TEST(Health, SelfTestStatusOnCapturedDrives) {
  for (const char* disk : {"sata0", "sata1", "sata3"}) {
    for (const int status :
         {0x00, 0x11, 0x16, 0x20, 0x30, 0xF7, 0xF0, 0x48, 0x57, 0x65, 0x85, 0x73}) {
      DriveTable table;
      table.RegisterDrive("/dev/sda", 0).smartSectorsRead = true;
      test::SectorImage data = test::CapturedSector(std::string(disk) + ".data");
      data[363] = static_cast<std::uint8_t>(status);
      DecodeAttributes(table, 0, data);
      DecodeThresholds(table, 0, test::CapturedSector(std::string(disk) + ".thresholds"));
      const int nibble = status >> 4;
      const std::string expected = nibble == 7                  ? "warning: self_test_read_failure "
                                   : nibble >= 4 && nibble <= 8 ? "failing: self_test_failed "
                                                                : "good";
      EXPECT_EQ(DescribeHealth(JudgeDrive(table, 0)),
                expected == "good" ? expected : expected + std::to_string(status));
    }
  }
}

TEST(Health, NvmeVerdictTable) {
  const struct {
    const char* expected;
    std::uint8_t warning, spare, spareThreshold, used;
    std::uint8_t mediaErrors;
    std::uint8_t enduranceWarning = 0;
  } cases[] = {
      {"good", 0, 100, 10, 99, 0},
      {"failing: critical_warning_spare 1", 1, 5, 10, 0, 0},
      {"warning: critical_warning_temperature 2", 2, 100, 10, 0, 0},
      {"failing: critical_warning_reliability 4", 4, 100, 10, 0, 0},
      {"failing: critical_warning_read_only 8", 8, 100, 10, 0, 0},
      {"failing: critical_warning_volatile_backup 16", 16, 100, 10, 0, 0},
      {"failing: critical_warning_persistent_memory 32", 32, 100, 10, 0, 0},
      {"failing: critical_warning_bit_6 192, critical_warning_bit_7 192", 192, 100, 10, 0, 0},
      {"failing: available_spare_below_threshold 9", 0, 9, 10, 0, 0},
      {"good", 0, 10, 10, 0, 0},
      {"warning: percentage_used 100", 0, 100, 10, 100, 0},
      {"warning: percentage_used 255, media_errors 1", 0, 100, 10, 255, 1},
      {"failing: endurance_group_critical_warning 4", 0, 100, 10, 0, 0, 4},
  };
  for (const auto& c : cases) {
    DriveTable table;
    DriveRecord& drive = table.RegisterDrive("/dev/nvme0n1", 0);
    drive.nvme = true;
    std::array<std::uint8_t, kNvmeHealthLogBytes> log{};
    log[0] = c.warning, log[3] = c.spare, log[4] = c.spareThreshold, log[5] = c.used;
    log[160] = c.mediaErrors, log[6] = c.enduranceWarning;
    DecodeNvmeHealth(drive, log);
    EXPECT_EQ(DescribeHealth(JudgeDrive(table, 0)), c.expected);
    EXPECT_EQ(SmartStatusVerdict(drive), c.warning == 0 ? 1 : 0);
  }
  DriveTable unread;
  unread.RegisterDrive("/dev/nvme0n1", 0).nvme = true;
  EXPECT_EQ(DescribeHealth(JudgeDrive(unread, 0)), "unknown");
  EXPECT_EQ(SmartStatusVerdict(unread.Drive(0)), -1);
}

// One command more for an ATA drive, after the thresholds; none for an NVMe drive, a drive left
// asleep or one whose driver passes no S.M.A.R.T. commands. Its verdict everywhere it shows.
TEST(Health, RunJudgesEveryDrive) {
  test::WholeRun run;
  run.definitions = "[General]\nMax Attributes=1\n[Attrib0]\nId=5\nName=Reallocated\n";
  run.disks.disks = {test::HealthyDisk("/dev/sda", 0),         test::HealthyDisk("/dev/sdb", 1),
                     test::HealthyNvmeDisk("/dev/nvme0n1", 2), test::HealthyDisk("/dev/sdc", 3),
                     test::HealthyDisk("/dev/vda", 4),         test::HealthyDisk("/dev/sdd", 5),
                     test::HealthyDisk("/dev/sde", 6)};
  auto& disks = run.disks.disks;
  disks[0].identify = test::IdentifySector("<img src=x onerror=alert(1)>", "'\"&", "FW 1.0");
  disks[1].attributes = test::AttributeSector({{5, 100, 100, Raw(8)}});
  disks[1].statusReply = {0, 0, 0, 0xF4, 0x2C, 0, 0x50};
  disks[1].raid = RaidPlace::kMember;
  disks[3].powerMode = 0x00;
  disks[4].smartCommands = false;
  disks[5].statusReply = {};  // a driver that returns no registers: the attributes decide
  disks[5].attributes = test::AttributeSector({{197, 100, 100, Raw(2)}});
  disks[6].failures[Step::kReadData] = 5;  // with no status either, nothing to judge by
  disks[6].statusReply = {};
  EXPECT_EQ(run({"trelmoss", "--health", "--no-wake", "--prometheus", "m.prom", "--html", "p.html",
                 "r.xml"}),
            kStatusReportWritten);
  const std::vector<Step> ata = {Step::kVersion,     Step::kPowerMode, Step::kEnable,
                                 Step::kIdentify,    Step::kReadData,  Step::kReadThresholds,
                                 Step::kReturnStatus};
  EXPECT_EQ(run.disks.StepsOf("/dev/sda"), ata);
  EXPECT_EQ(run.disks.StepsOf("/dev/sdc"), (std::vector<Step>{Step::kVersion, Step::kPowerMode}));
  EXPECT_EQ(run.disks.StepsOf("/dev/vda"), std::vector<Step>{Step::kVersion});
  EXPECT_EQ(run.disks.StepsOf("/dev/nvme0n1"),
            (std::vector<Step>{Step::kNvmeIdentity, Step::kNvmeHealth}));
  EXPECT_TRUE(run.disks.unexpected.empty());
  EXPECT_EQ(
      run.console.Text(),
      "Trelmoss v1.1\r\nTotal drives: 7\r\n"
      "/dev/sdb health: failing: smart_status_failed 1, reallocated_sectors 8 "
      "(attribute 5)\r\n"
      "/dev/nvme0n1 health: failing: critical_warning_reliability 4, media_errors "
      "18446744073709551615\r\n"
      "/dev/sdc health: asleep\r\n/dev/vda health: unknown\r\n"
      "/dev/sdd health: warning: pending_sectors 2 (attribute 197), smart_status_unavailable 1\r\n"
      "/dev/sde health: unknown\r\n");
  // The event log gets the failing drives as errors and the warning one as a warning.
  ASSERT_EQ(run.events.size(), 3u);
  EXPECT_EQ(run.events[0],
            std::make_pair(true, std::string("/dev/sdb health: failing: smart_status_failed 1, "
                                             "reallocated_sectors 8 (attribute 5); model MODEL b, "
                                             "serial SERIAL, behind a RAID controller")));
  EXPECT_TRUE(run.events[1].first && !run.events[2].first);
  EXPECT_EQ(run.events[2].second.rfind("/dev/sdd health: warning", 0), 0u);
  const std::string& report = run.written.at("r.xml");
  EXPECT_EQ(test::SchemaProblems(report), "");
  EXPECT_NE(report.find("        <attrib id=\"5\" name=\"Reallocated\" value=\"100\" worst=\"100\" "
                        "raw=\"8\" treshold=\"-1\"/>\r\n"
                        "        <health state=\"failing\">\r\n"
                        "            <reason name=\"smart_status_failed\" value=\"1\"/>\r\n"
                        "            <reason name=\"reallocated_sectors\" attribute=\"5\" "
                        "value=\"8\"/>\r\n"
                        "        </health>\r\n"),
            std::string::npos);
  EXPECT_NE(report.find("firmware=\"FW 1.0\">\r\n        <health state=\"good\"/>\r\n"),
            std::string::npos);
  const std::string& metrics = run.written.at("m.prom");
  for (const char* line : {"trelmoss_device_health{device=\"sdb\",state=\"failing\"} 1\n",
                           "trelmoss_device_health{device=\"sdb\",state=\"good\"} 0\n",
                           "trelmoss_device_health{device=\"sdc\",state=\"asleep\"} 1\n",
                           "trelmoss_device_health_reason{device=\"sdb\",reason="
                           "\"reallocated_sectors\",attribute_id=\"5\"} 8\n",
                           "trelmoss_device_smart_status{device=\"sda\"} 1\n",
                           "trelmoss_device_smart_status{device=\"sdb\"} 0\n",
                           "trelmoss_device_smart_status{device=\"nvme0n1\"} 0\n",
                           "trelmoss_ata_self_test_status{device=\"sda\"} 0\n"}) {
    EXPECT_NE(metrics.find(line), std::string::npos) << line;
  }
  for (const char* absent : {"smart_status{device=\"sdd\"}", "smart_status{device=\"sdc\"}"}) {
    EXPECT_EQ(metrics.find(absent), std::string::npos) << absent;
  }
  test::KeepReportForComparison(metrics, ".prom");
  test::KeepReportForComparison(run.written.at("p.html"), ".html");
}

// Without the option: no status asked, and the report and metrics carry no verdict.
TEST(Health, WithoutTheOptionNothingIsJudged) {
  test::WholeRun run;
  run.disks.disks = {test::HealthyDisk("/dev/sda", 0), test::HealthyNvmeDisk("/dev/nvme0n1", 1)};
  run.disks.disks[0].attributes = test::AttributeSector({{5, 100, 100, Raw(8)}});
  run.writeError = 28;
  run({"trelmoss", "--prometheus", "m.prom", "r.xml"});
  for (const auto& request : run.disks.requests) EXPECT_NE(request.step, Step::kReturnStatus);
  EXPECT_TRUE(run.events.empty());
  run.writeError = 0;
  run({"trelmoss", "--prometheus", "m.prom", "r.xml"});
  EXPECT_EQ(run.written.at("r.xml").find("<health"), std::string::npos);
  EXPECT_EQ(run.written.at("m.prom").find("health"), std::string::npos);
  EXPECT_EQ(run.written.at("m.prom").find("smart_status"), std::string::npos);
}

}  // namespace
}  // namespace trelmoss
