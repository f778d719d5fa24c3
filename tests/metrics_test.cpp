// The metrics file: its exact text for drives of every kind, and the options that ask for it.
#include <gtest/gtest.h>

#include "app/run.h"
#include "tests/report_checks.h"
#include "tests/whole_run.h"

namespace trelmoss {
namespace {

constexpr const char* kDefinitions =
    "[General]\nMax Attributes=2\n[Attrib0]\nId=9\nName=Power-On \"Hours\"\\\x98\n"
    "[Attrib1]\nId=194\nName=\xD2\xE5\xEC\xEF\xE5\xF0\xE0\xF2\xF3\xF0\xE0\n";

// An ATA drive, an NVMe drive, a drive whose identify failed and one whose model holds a line
// feed (unescaped, it would make node_exporter reject the whole file).
test::WholeRun MetricsRun() {
  test::WholeRun run;
  run.definitions = kDefinitions;
  run.disks.disks = {test::HealthyDisk("/dev/sda", 0), test::HealthyNvmeDisk("/dev/nvme0n1", 1),
                     test::HealthyDisk("/dev/sdb", 2), test::HealthyDisk("/dev/sdc", 3)};
  run.disks.disks[2].failures[test::Step::kIdentify] = 5;
  run.disks.disks[3].identify = test::IdentifySector("LINE\nFEED", "SERIAL", "FW 1.0");
  return run;
}

std::string Family(const char* name, const char* type, const char* help) {
  return std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

TEST(Metrics, EveryDriveAndEveryFieldInTheExpositionFormat) {
  test::WholeRun run = MetricsRun();
  EXPECT_EQ(run({"trelmoss", "--prometheus", "/m/trelmoss.prom", "r.xml"}), kStatusReportWritten);
  const std::string& metrics = run.written.at("/m/trelmoss.prom");
  const std::string expectedStart =
      Family("trelmoss_device_info", "gauge",
             "Identity of each disk read: its name, path, model, serial number and firmware.") +
      "trelmoss_device_info{device=\"sda\",devicepath=\"/dev/sda\",model_name=\"MODEL a\","
      "serial_number=\"SERIAL\",firmware_version=\"FW 1.0\"} 1\n"
      "trelmoss_device_info{device=\"nvme0n1\",devicepath=\"/dev/nvme0n1\",model_name=\"NVME "
      "MODEL\",serial_number=\"NV-1\",firmware_version=\"1.0\"} 1\n"
      "trelmoss_device_info{device=\"sdb\",devicepath=\"/dev/sdb\",model_name=\"\","
      "serial_number=\"\",firmware_version=\"\"} 1\n"
      "trelmoss_device_info{device=\"sdc\",devicepath=\"/dev/sdc\",model_name=\"LINE\\nFEED\","
      "serial_number=\"SERIAL\",firmware_version=\"FW 1.0\"} 1\n" +
      Family("trelmoss_device_attribute", "gauge",
             "S.M.A.R.T. attribute of an ATA drive: its normalised value, worst value, failure "
             "threshold (when the drive gives one) and whole 48-bit raw value.") +
      // Quote and backslash escaped, the byte windows-1251 leaves undefined as "?".
      "trelmoss_device_attribute{device=\"sda\",attribute_id=\"9\",attribute_name=\"Power-On "
      "\\\"Hours\\\"\\\\?\",attribute_value_type=\"value\"} 98\n";
  EXPECT_EQ(metrics.substr(0, expectedStart.size()), expectedStart);
  for (const char* line : {
           "attribute_value_type=\"thresh\"} 0\n",
           "trelmoss_device_attribute{device=\"sda\",attribute_id=\"194\",attribute_name=\"\xD0\xA2"
           "\xD0\xB5\xD0\xBC\xD0\xBF\xD0\xB5\xD1\x80\xD0\xB0\xD1\x82\xD1\x83\xD1\x80\xD0\xB0\","
           "attribute_value_type=\"raw\"} 193274839076\n",  // 45 << 32 | 20 << 16 | 36
           "trelmoss_device_error{device=\"sda\",error=\"\"} 0\n",
           "trelmoss_device_error{device=\"sdb\",error=\"Error 5 in reading basic SMART data\"} "
           "1\n",
           "trelmoss_nvme_critical_warning{device=\"nvme0n1\"} 4\n",
           "trelmoss_nvme_temperature_celsius{device=\"nvme0n1\"} 43\n",
           "trelmoss_nvme_used_ratio{device=\"nvme0n1\"} 0.03\n",
           "trelmoss_nvme_written_bytes_total{device=\"nvme0n1\"} 6320640000\n",
           "trelmoss_nvme_power_on_seconds_total{device=\"nvme0n1\"} 3600000\n",
           "trelmoss_nvme_media_errors_total{device=\"nvme0n1\"} 3.40282366920938e+38\n",
           "# TYPE trelmoss_devices gauge\ntrelmoss_devices 4\n",
           "trelmoss_last_run_timestamp_seconds 1700000000.250\n",
       }) {
    EXPECT_NE(metrics.find(line), std::string::npos) << line;
  }
  // No attribute series for the NVMe drive; the drive whose identity failed keeps its attributes.
  // The XML report is the same as without the option.
  EXPECT_EQ(metrics.find("trelmoss_device_attribute{device=\"nvme0n1\""), std::string::npos);
  test::WholeRun plain = MetricsRun();
  plain({"trelmoss", "r.xml"});
  EXPECT_EQ(run.written.at("r.xml"), plain.written.at("r.xml"));
  EXPECT_EQ(metrics.back(), '\n');
  EXPECT_EQ(metrics.find('\r'), std::string::npos);
  test::KeepReportForComparison(metrics, ".prom");
  test::KeepReportForComparison(run.written.at("r.xml"));
}

TEST(Metrics, AFileThatCannotBeWrittenFailsTheRunButNotTheReport) {
  test::WholeRun run = MetricsRun();
  run.writeError = 28;
  run.failingPath = "/full/trelmoss.prom";
  EXPECT_EQ(run({"trelmoss", "--prometheus", "/full/trelmoss.prom", "r.xml"}), kStatusReportFailed);
  EXPECT_NE(run.console.Text().find("can't write metrics /full/trelmoss.prom  (Error 28)\r\n"),
            std::string::npos);
  EXPECT_EQ(run.written.count("r.xml"), 1u);
  test::WholeRun judged = MetricsRun();
  judged.writeError = 28;
  judged.failingPath = "/full/trelmoss.prom";
  judged({"trelmoss", "--health", "--prometheus", "/full/trelmoss.prom", "r.xml"});
  EXPECT_EQ(
      judged.events.back(),
      std::make_pair(true, std::string("can't write metrics /full/trelmoss.prom  (Error 28)")));
}

}  // namespace
}  // namespace trelmoss
