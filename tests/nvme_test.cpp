#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "device/field_text.h"
#include "device/nvme/nvme_decoders.h"
#include "model/console.h"
#include "model/drive_table.h"
#include "report/report.h"
#include "tests/fake_disks.h"
#include "tests/report_checks.h"

namespace trelmoss {
namespace {

using test::FakeDisk;
using test::FakeDiskSystem;
using test::Step;

struct NvmeRun {
  explicit NvmeRun(std::vector<FakeDisk> drives) {
    disks.disks = std::move(drives);
    Console console;
    table.EnumerateDrives(disks, console);
    auto report = Report::Create();
    report->AddDrives(table);
    text = report->Render();
  }
  FakeDiskSystem disks;
  DriveTable table;
  std::string text;
};

constexpr const char* kHealthyNvmeHealth =
    "<nvme critical_warning=\"4\" temperature=\"43\" available_spare=\"100\" "
    "available_spare_threshold=\"10\" percentage_used=\"3\" "
    "data_units_read=\"18446744073709551616\" data_units_written=\"12345\" host_reads=\"0\" "
    "host_writes=\"0\" controller_busy_time=\"0\" power_cycles=\"0\" power_on_hours=\"1000\" "
    "unsafe_shutdowns=\"0\" media_errors=\"340282366920938463463374607431768211455\" "
    "num_err_log_entries=\"0\" warning_temp_time=\"0\" critical_comp_time=\"7\"/>";

TEST(Nvme, DriveIsReportedWithIdentityAndEveryHealthFieldBesideAnAtaDrive) {
  const NvmeRun run({test::HealthyNvmeDisk("/dev/nvme0n1", 0), test::HealthyDisk("/dev/sda", 1)});
  const std::string nvmeDrive =
      "    <drive devicepath=\"/dev/nvme0n1\" id=\"0\" model=\"NVME MODEL\" serial=\"NV-1\" "
      "firmware=\"1.0\">\r\n        " +
      std::string(kHealthyNvmeHealth) + "\r\n    </drive>\r\n";
  EXPECT_NE(run.text.find(nvmeDrive), std::string::npos) << run.text;
  EXPECT_EQ(run.text.find("<nvme", run.text.find("/dev/sda")), std::string::npos);
  EXPECT_EQ(test::SchemaProblems(run.text), "");
  // The NVMe drive gets its two requests and nothing of the ATA road; the ATA drive its five.
  std::vector<Step> nvmeSteps;
  for (const auto& request : run.disks.requests) {
    if (request.path == "/dev/nvme0n1") nvmeSteps.push_back(request.step);
  }
  EXPECT_EQ(nvmeSteps, (std::vector<Step>{Step::kNvmeIdentity, Step::kNvmeHealth}));
  EXPECT_EQ(run.disks.requests.size(), 7u);
  EXPECT_TRUE(run.disks.unexpected.empty());
}

TEST(Nvme, FailuresUseTheDriveErrorTexts) {
  const struct {
    std::map<Step, int> failures;
    const char* errorText;
    const char* model;
    bool health;
  } cases[] = {
      {{{Step::kNvmeIdentity, 5}}, "Error 5 in reading basic SMART data", "", true},
      {{{Step::kNvmeHealth, 13}}, "Error 13 reading detailed SMART data", "NVME MODEL", false},
      {{{Step::kNvmeIdentity, 1}, {Step::kNvmeHealth, 1}},
       "Error 1 in reading basic SMART dataError 1 reading detailed SMART data",
       "",
       false},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.errorText);
    FakeDisk disk = test::HealthyNvmeDisk("/dev/nvme0n1", 0);
    disk.failures = each.failures;
    const NvmeRun run({disk});
    const DriveRecord& drive = run.table.Drive(0);
    EXPECT_EQ(drive.errorText, each.errorText);
    EXPECT_EQ(drive.Model(), each.model);
    EXPECT_EQ(run.text.find("<nvme") != std::string::npos, each.health);
    EXPECT_EQ(test::SchemaProblems(run.text), "");
  }
}

TEST(Nvme, CountersAreWrittenInFull) {
  const struct {
    std::vector<std::uint8_t> bytes;
    const char* decimal;
  } cases[] = {
      {std::vector<std::uint8_t>(16, 0), "0"},
      {{0xFF, 0, 0, 0}, "255"},
      {{0x00, 0x01, 0, 0}, "256"},
      {{0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}, "18446744073709551616"},
      {std::vector<std::uint8_t>(16, 0xFF), "340282366920938463463374607431768211455"},
  };
  for (const auto& each : cases) {
    EXPECT_EQ(DecimalOfLittleEndian(each.bytes), each.decimal);
  }
}

TEST(Nvme, IdentityTextsFollowTheAtaRules) {
  std::array<std::uint8_t, kNvmeIdentifyBytes> identify{};
  const std::string serial = "  S3EVNX0K123456     ";                    // 20, leading blanks
  const std::string model = "TRELMOSS NVME MODEL OF FULL FORTY CHARS4";  // 40, full
  const std::string firmware = std::string("2B2Q", 4) + '\0' + "JUN";    // NUL inside
  std::copy(serial.begin(), serial.begin() + 20, identify.begin() + 4);
  std::copy(model.begin(), model.end(), identify.begin() + 24);
  std::copy(firmware.begin(), firmware.end(), identify.begin() + 64);
  identify[72] = 'X';  // the byte after the firmware field is never read
  DriveRecord record;
  DecodeNvmeIdentity(record, IdentityOfController(identify));
  EXPECT_EQ(record.Serial(), "S3EVNX0K123456");
  EXPECT_EQ(record.Model(), model);
  EXPECT_EQ(record.Firmware(), "2B2Q");
}

}  // namespace
}  // namespace trelmoss
