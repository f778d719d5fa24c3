// Faults injected through the fake disks across a full table of 32 drives: every exchange of
// every drive failing in turn, disks vanishing between listing and opening, and replies cut
// short at every boundary. Nothing may crash, every registered drive keeps its slot, every error
// text is the one its failures call for, and the report stays sound.
#include <gtest/gtest.h>

#include "app/run.h"
#include "model/console.h"
#include "tests/driver_scenario.h"
#include "tests/fake_disks.h"
#include "tests/report_checks.h"
#include "tests/whole_run.h"

namespace trelmoss {
namespace {

using test::FakeDisk;
using test::FakeDiskSystem;
using test::HealthyDisk;
using test::Step;

constexpr Step kSteps[] = {Step::kVersion, Step::kEnable, Step::kIdentify, Step::kReadData,
                           Step::kReadThresholds};

struct Outcome {
  int status = 0;
  std::string console;
  std::string report;
};

Outcome RunOver(FakeDiskSystem& disks) {
  test::WholeRun run;
  run.definitions = "[General]\nMax Attributes=1\n[Attrib0]\nId=9\nName=h\n";
  run.disks = std::move(disks);
  run({"trelmoss", "r.xml"});
  disks = std::move(run.disks);
  return {run.status, run.console.Text(), run.written["r.xml"]};
}

// The error text a drive ends with, given which of its exchanges fail with which number.
std::string ExpectedErrorText(const std::map<Step, int>& failures) {
  auto text = [&](Step step, const std::string& format) {
    const auto found = failures.find(step);
    if (found == failures.end()) return std::string();
    const std::size_t mark = format.find("%d");
    return format.substr(0, mark) + std::to_string(found->second) + format.substr(mark + 2);
  };
  if (failures.count(Step::kVersion)) return text(Step::kVersion, "Get device VERSION error %d");
  if (failures.count(Step::kEnable)) {
    return text(Step::kEnable, "Error %d in reading SMART Enabled flag");
  }
  return text(Step::kIdentify, "Error %d in reading basic SMART data") +
         text(Step::kReadData, "Error %d reading detailed SMART data") +
         text(Step::kReadThresholds, "Error %d reading thresholds SMART data");
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

FakeDiskSystem ThirtyTwoHealthyDisks() {
  FakeDiskSystem disks;
  for (std::uint32_t i = 0; i < 32; ++i) {
    disks.disks.push_back(HealthyDisk("/dev/d" + std::to_string(i), i));
  }
  return disks;
}

TEST(FaultInjection, EveryExchangeOfEveryDriveFailingInTurn) {
  for (const Step step : kSteps) {
    for (std::uint32_t failing = 0; failing < 32; ++failing) {
      FakeDiskSystem disks = ThirtyTwoHealthyDisks();
      const int error = static_cast<int>(failing) * 37 - 100;  // negative numbers too
      disks.disks[failing].failures[step] = error;
      const Outcome outcome = RunOver(disks);
      ASSERT_EQ(outcome.status, 1);
      ASSERT_EQ(outcome.console, "Trelmoss v1.1\r\nTotal drives: 32\r\n");
      EXPECT_EQ(Count(outcome.report, "<drive "), 32u);
      EXPECT_EQ(Count(outcome.report, "error=\"" + ExpectedErrorText({{step, error}}) + "\""), 1u)
          << "drive " << failing;
      EXPECT_NE(outcome.report.find("devicepath=\"/dev/d" + std::to_string(failing) + "\" id=\"" +
                                    std::to_string(failing) + "\""),
                std::string::npos);
      if (failing == 31) {
        EXPECT_EQ(test::SchemaProblems(outcome.report), "");
      }
    }
  }
}

TEST(FaultInjection, EveryCombinationOfFailingExchanges) {
  FakeDiskSystem disks = ThirtyTwoHealthyDisks();
  std::vector<std::string> expected(32);
  for (std::uint32_t drive = 0; drive < 32; ++drive) {
    std::map<Step, int> failures;
    for (std::size_t s = 0; s < 5; ++s) {
      if ((drive >> s) & 1) failures[kSteps[s]] = static_cast<int>(100 * drive + s);
    }
    disks.disks[drive].failures = failures;
    expected[drive] = ExpectedErrorText(failures);
  }
  const Outcome outcome = RunOver(disks);
  ASSERT_EQ(outcome.status, 1);
  for (std::uint32_t drive = 0; drive < 32; ++drive) {
    const std::string element =
        "<drive devicepath=\"/dev/d" + std::to_string(drive) + "\" id=\"" + std::to_string(drive);
    const std::size_t at = outcome.report.find(element);
    ASSERT_NE(at, std::string::npos) << drive;
    const std::string line = outcome.report.substr(at, outcome.report.find('\n', at) - at);
    if (expected[drive].empty()) {
      EXPECT_EQ(line.find("error="), std::string::npos) << line;
    } else {
      EXPECT_NE(line.find("error=\"" + expected[drive] + "\""), std::string::npos) << line;
    }
  }
  EXPECT_EQ(test::SchemaProblems(outcome.report), "");
}

TEST(FaultInjection, DisksVanishingBetweenListingAndOpening) {
  FakeDiskSystem disks = ThirtyTwoHealthyDisks();
  for (std::uint32_t i = 0; i < 32; i += 3) disks.disks[i].openError = 2;  // gone: ENOENT
  disks.disks[1].numberError = 19;                                         // gone: ENODEV
  const Outcome outcome = RunOver(disks);
  ASSERT_EQ(outcome.status, 1);
  EXPECT_EQ(Count(outcome.console, "can't open device "), 11u);
  EXPECT_EQ(Count(outcome.console, "can't get device number /dev/d1  (Error 19)"), 1u);
  EXPECT_NE(outcome.console.find("Total drives: 20\r\n"), std::string::npos);
  // Slots stay dense: the drives read are numbered 0 to 19 in the report, in listing order.
  EXPECT_NE(outcome.report.find("<drive devicepath=\"/dev/d2\" id=\"2\""), std::string::npos);
  EXPECT_EQ(Count(outcome.report, "<drive "), 20u);
  EXPECT_EQ(test::SchemaProblems(outcome.report), "");
}

TEST(FaultInjection, RepliesCutShortAtEveryBoundary) {
  const std::size_t limits[] = {0, 1, 4, 15, 16, 17, 20, 40, 100, 300, 527, 528, 530};
  for (const Step step : kSteps) {
    FakeDiskSystem disks;
    for (std::uint32_t i = 0; i < std::size(limits); ++i) {
      FakeDisk disk = HealthyDisk("/dev/d" + std::to_string(i), i);
      disk.replyLimits[step] = limits[i];
      disks.disks.push_back(disk);
    }
    const Outcome outcome = RunOver(disks);
    ASSERT_EQ(outcome.status, 1);
    EXPECT_EQ(Count(outcome.report, "<drive "), std::size(limits));
    EXPECT_EQ(outcome.report.find("error="), std::string::npos);
    EXPECT_EQ(test::SchemaProblems(outcome.report), "");
    EXPECT_TRUE(disks.unexpected.empty());
  }
}

// Every kind of disk: the driver scenario's ATA and NVMe drives (six registered), then a SAS disk.
void ReadEveryKindOfDisk(test::WholeRun& run, std::vector<std::string> options,
                         const std::function<void(std::size_t, FakeDisk&)>& adjust) {
  run.disks = test::FakeDisksFor(test::ProgramScenario());
  run.disks.disks.push_back(HealthyDisk("/dev/sas", 9));
  run.disks.disks.back().bus = DiskBus::kScsi;
  run.disks.disks.back().scsi = test::SasAnswers();
  for (std::size_t at = 0; at < run.disks.disks.size(); ++at) adjust(at, run.disks.disks[at]);
  options.insert(options.begin(),
                 {"trelmoss", "--health", "--prometheus", "m.prom", "--html", "p.html"});
  options.push_back("r.xml");
  ASSERT_EQ(run(options), 1);
}

std::vector<std::string> DriveElements(const std::string& report) {
  std::vector<std::string> drives;
  for (auto at = report.find("    <drive "); at != std::string::npos;) {
    const auto next = report.find("    <drive ", at + 1);
    drives.push_back(report.substr(at, next - at));
    at = next;
  }
  return drives;
}

// Read side by side or one after another, in whatever order the drives finish, a run writes the
// same bytes; a drive that lets a command time out gets nothing more and names the lost reads;
// one that never answers is given up at the deadline. The other drives never notice.
TEST(FaultInjection, SlowAndDyingDrives) {
  test::WholeRun plain;
  ReadEveryKindOfDisk(plain, {"--jobs", "1"}, [](std::size_t, FakeDisk&) {});
  for (const char* jobs : {"32", "1", "3"}) {
    test::WholeRun run;  // the later disks answer sooner
    ReadEveryKindOfDisk(run, {"--jobs", jobs}, [](std::size_t at, FakeDisk& disk) {
      disk.latency = std::chrono::milliseconds(9 - at);
    });
    EXPECT_EQ(run.console.Text(), plain.console.Text()) << jobs;
    EXPECT_EQ(run.written, plain.written) << jobs;
  }
  using Steps = std::vector<Step>;
  const struct {
    std::size_t disk, slot, hangAt;
    bool answers;  // after a timeout, or never
    Steps steps;
    std::string error;
    int hangError = test::kFakeTimeoutError;  // 5: ended as libata ends it, known by its time alone
  } cases[] = {
      {0,
       0,
       4,
       true,
       {Step::kVersion, Step::kEnable, Step::kIdentify, Step::kReadData},
       "Error 5 reading detailed SMART dataError 5 reading thresholds SMART data",
       5},
      {0,
       0,
       4,
       true,
       {Step::kVersion, Step::kEnable, Step::kIdentify, Step::kReadData},
       "Error 110 reading detailed SMART dataError 110 reading thresholds SMART data"},
      {6,
       4,
       2,
       true,
       {Step::kNvmeIdentity, Step::kNvmeHealth},
       "Error 110 reading detailed SMART data"},
      {8,
       6,
       1,
       true,
       {Step::kScsi},
       "Error 110 in reading basic SMART dataError 110 reading detailed SMART data"},
      {0, 0, 2, false, {Step::kVersion, Step::kEnable}, "no answer within 3 s"},
  };
  for (const auto& c : cases) {
    test::WholeRun run;
    ReadEveryKindOfDisk(run, {"--deadline", c.answers ? "120" : "3"},
                        [&c](std::size_t at, FakeDisk& disk) {
                          if (at != c.disk) return;
                          disk.hangAt = c.hangAt;
                          disk.hangError = c.hangError;
                          disk.commandTimeout = std::chrono::milliseconds(20);
                          if (c.answers) disk.hangFor = std::chrono::milliseconds(20);
                        });
    const std::string& path = run.disks.disks[c.disk].path;
    EXPECT_EQ(run.disks.StepsOf(path), c.steps) << path;
    std::vector<std::string> drives = DriveElements(run.written["r.xml"]);
    std::vector<std::string> expected = DriveElements(plain.written["r.xml"]);
    EXPECT_NE(drives[c.slot].find("error=\"" + c.error + "\""), std::string::npos)
        << drives[c.slot];
    drives.erase(drives.begin() + c.slot);
    expected.erase(expected.begin() + c.slot);
    EXPECT_EQ(drives, expected) << path;
    EXPECT_EQ(run.console.Text().find(path + ": no answer") != std::string::npos, !c.answers);
  }
}

std::string SerialOf(const std::string& drive) {
  const auto at = drive.find(" serial=\"") + 9;
  return drive.substr(at, drive.find('"', at) - at);
}

// A drive stuck after its identity keeps it in the report, the metrics and the page; with
// --jobs 1 the drives whose turn never came are told apart from it; a disk whose opening never
// ends is given up likewise; with no thread to be had the drives are read here, in turn.
TEST(FaultInjection, WhatTheDeadlineLeaves) {
  test::WholeRun plain;
  ReadEveryKindOfDisk(plain, {}, [](std::size_t, FakeDisk&) {});
  const std::vector<std::string> expected = DriveElements(plain.written["r.xml"]);
  const struct {
    std::size_t disk, slot, hangAt;  // hangAt 0: the opening hangs
    const char* jobs;
  } cases[] = {{6, 4, 2, "32"}, {0, 0, 4, "1"}, {3, 2, 0, "32"}};
  for (const auto& c : cases) {
    test::WholeRun run;
    ReadEveryKindOfDisk(run, {"--deadline", "1", "--jobs", c.jobs},
                        [&c](std::size_t at, FakeDisk& disk) {
                          if (at == c.disk && c.hangAt > 0) disk.hangAt = c.hangAt;
                          disk.openHangs = at == c.disk && c.hangAt == 0;
                        });
    const std::vector<std::string> drives = DriveElements(run.written["r.xml"]);
    const std::string serial = c.hangAt > 0 ? SerialOf(expected[c.slot]) : "";
    EXPECT_EQ(SerialOf(drives[c.slot]), serial);
    EXPECT_NE(drives[c.slot].find("error=\"no answer within 1 s\""), std::string::npos);
    EXPECT_NE(run.written["p.html"].find(c.disk == 6 ? "NVMe" : "ATA"), std::string::npos);
    if (!serial.empty()) {
      EXPECT_NE(run.written["m.prom"].find("serial_number=\"" + serial), std::string::npos);
      EXPECT_NE(run.written["p.html"].find(serial), std::string::npos);
    }
    const std::size_t listed = run.disks.disks.size();
    const std::size_t missed = c.jobs == std::string("1") ? listed - c.disk - 1 : 0;
    ASSERT_EQ(drives.size(), missed > 0 ? listed : expected.size());
    EXPECT_EQ(Count(run.written["r.xml"], "passed before its turn\""), missed);
    const std::string sas =
        missed > 0 ? "not read: the deadline of 1 s passed before its turn" : "";
    const std::string& metrics = run.written["m.prom"];
    EXPECT_EQ(Count(metrics, "_error{device=\"sas\",error=\"" + sas + "\"} 0\n"), 1u);
    EXPECT_EQ(Count(metrics, "_not_read{device=\"sas\"} " + std::to_string(missed > 0)), 1u);
    EXPECT_EQ(Count(run.console.Text(), ": no answer within 1 s"), 1u);
    EXPECT_EQ(Count(run.console.Text(), ": not read: the deadline of 1 s"), missed);
  }
  test::WholeRun inTurn;
  ReadEveryKindOfDisk(inTurn, {},
                      [&inTurn](std::size_t, FakeDisk&) { inTurn.disks.threadsRefused = true; });
  EXPECT_NE(inTurn.console.Text().find("no thread to be had"), std::string::npos);
  EXPECT_EQ(inTurn.written["r.xml"], plain.written["r.xml"]);
  test::WholeRun late;  // the first drive outlasts the deadline: no other is started after it
  ReadEveryKindOfDisk(late, {"--deadline", "1"}, [&late](std::size_t at, FakeDisk& disk) {
    late.disks.threadsRefused = true;
    if (at == 0) disk.hangAt = 1, disk.hangFor = std::chrono::milliseconds(1500);
  });
  EXPECT_EQ(Count(late.written["r.xml"], "before its turn"), late.disks.disks.size() - 1);
}

}  // namespace
}  // namespace trelmoss
