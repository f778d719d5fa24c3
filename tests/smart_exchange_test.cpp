#include <gtest/gtest.h>

#include <numeric>

#include "model/console.h"
#include "model/drive_table.h"
#include "model/health.h"
#include "report/report.h"
#include "tests/fake_disks.h"

namespace trelmoss {
namespace {

using test::FakeDisk;
using test::FakeDiskSystem;
using test::HealthyDisk;
using test::Step;

// Registers the fake's first disk in slot 0 and runs its exchange, as the enumeration does.
struct ExchangeRun {
  explicit ExchangeRun(FakeDisk disk, ReadOptions options = {}) {
    disks.disks.push_back(std::move(disk));
    int error = 0;
    auto handle = disks.Open(disks.disks[0].path, error);
    table.RegisterDrive(disks.disks[0].path, disks.disks[0].deviceNumber);
    result = table.ReadDriveSmart(handle.get(), 0, options);
  }
  const DriveRecord& record() const { return table.Drive(0); }
  FakeDiskSystem disks;
  DriveTable table;
  bool result = false;
};

TEST(SmartExchange, HealthyDriveIsReadCompletely) {
  const ExchangeRun run(HealthyDisk("/dev/sda", 0));
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.record().errorText, "");
  EXPECT_EQ(run.record().Model(), "MODEL a");
  EXPECT_EQ(run.record().attributeCount, 3);
  EXPECT_EQ(run.table.FindAttribute(0, 9)->raw, 1234u);
  EXPECT_EQ(run.table.FindAttribute(0, 1)->threshold, 6);
  ASSERT_EQ(run.disks.requests.size(), 5u);
  EXPECT_TRUE(run.disks.unexpected.empty());
}

TEST(SmartExchange, SendsTheFourCommandsWithTheirRegisters) {
  const ExchangeRun run(HealthyDisk("/dev/sda", 0x1234));
  const auto& requests = run.disks.requests;
  ASSERT_EQ(requests.size(), 5u);
  const Step steps[] = {Step::kVersion, Step::kEnable, Step::kIdentify, Step::kReadData,
                        Step::kReadThresholds};
  // Features, sector count, sector number, cylinder low and high, drive/head, command.
  const AtaRegisters registers[] = {{},
                                    {0xD8, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0},
                                    {0x00, 1, 1, 0x00, 0x00, 0xA0, 0xEC},
                                    {0xD0, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0},
                                    {0xD1, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0}};
  for (std::size_t i = 0; i < requests.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(requests[i].step, steps[i]);
    const AtaRegisters& sent = requests[i].registers;
    const AtaRegisters& expected = registers[i];
    EXPECT_EQ(std::vector<int>({sent.features, sent.sectorCount, sent.sectorNumber,
                                sent.cylinderLow, sent.cylinderHigh, sent.driveHead, sent.command}),
              std::vector<int>({expected.features, expected.sectorCount, expected.sectorNumber,
                                expected.cylinderLow, expected.cylinderHigh, expected.driveHead,
                                expected.command}));
  }
}

TEST(SmartExchange, FailureTextsTable) {
  struct Case {
    std::map<Step, int> failures;
    std::string errorText;
    bool result;
    std::size_t requests;
    bool identity;
    std::uint8_t attributes;
  };
  const std::vector<Case> cases = {
      {{{Step::kVersion, 6}}, "Get device VERSION error 6", false, 1, false, 0},
      {{{Step::kEnable, 1}}, "Error 1 in reading SMART Enabled flag", true, 2, false, 0},
      {{{Step::kIdentify, 5}}, "Error 5 in reading basic SMART data", true, 5, false, 3},
      {{{Step::kReadData, 23}}, "Error 23 reading detailed SMART data", true, 5, true, 0},
      {{{Step::kReadThresholds, 2}}, "Error 2 reading thresholds SMART data", false, 5, true, 3},
      {{{Step::kIdentify, 1}, {Step::kReadData, 1}, {Step::kReadThresholds, 1}},
       "Error 1 in reading basic SMART dataError 1 reading detailed SMART dataError 1 reading "
       "thresholds SMART data",
       false,
       5,
       false,
       0},
      {{{Step::kReadData, 31}, {Step::kReadThresholds, 1117}},
       "Error 31 reading detailed SMART dataError 1117 reading thresholds SMART data",
       false,
       5,
       true,
       0},
      {{{Step::kIdentify, -5}}, "Error -5 in reading basic SMART data", true, 5, false, 3},
  };
  for (const Case& c : cases) {
    FakeDisk disk = HealthyDisk("/dev/sda", 0);
    disk.failures = c.failures;
    const ExchangeRun run(disk);
    SCOPED_TRACE(c.errorText);
    EXPECT_EQ(run.record().errorText, c.errorText);
    EXPECT_EQ(run.result, c.result);
    EXPECT_EQ(run.disks.requests.size(), c.requests);
    EXPECT_EQ(!run.record().Model().empty(), c.identity);
    EXPECT_EQ(run.record().attributeCount, c.attributes);
    EXPECT_EQ(run.table.Index().size(), c.attributes);
  }
}

TEST(SmartExchange, NoSmartCapabilityStopsQuietly) {
  FakeDisk disk = HealthyDisk("/dev/vda", 0);
  disk.smartCommands = false;
  const ExchangeRun run(disk);
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.record().errorText, "");
  EXPECT_EQ(run.record().Model(), "");
  EXPECT_EQ(run.disks.requests.size(), 1u);
}

TEST(SmartExchange, ShortRepliesNeverCarryStaleSectors) {
  FakeDisk disk = HealthyDisk("/dev/sda", 0);
  disk.replyLimits[Step::kIdentify] = 50;       // serial and firmware arrive, the model not
  disk.replyLimits[Step::kReadThresholds] = 2;  // no threshold entry arrives
  const ExchangeRun run(disk);
  EXPECT_EQ(run.record().Model(), "");
  EXPECT_EQ(run.record().Serial(), "SERIAL");
  EXPECT_EQ(run.record().Firmware(), "FW 1");
  EXPECT_EQ(run.record().attributeCount, 3);
  // Had the attribute sector stayed in the shared buffer, its status flags would now be
  // thresholds.
  for (const std::uint8_t id : {std::uint8_t{1}, std::uint8_t{9}, std::uint8_t{194}}) {
    EXPECT_EQ(run.table.FindAttribute(0, id)->threshold, -1) << int{id};
  }
}

TEST(SmartExchange, InvalidHandleIsRefused) {
  DriveTable table;
  table.RegisterDrive("/dev/sda", 0);
  EXPECT_FALSE(table.ReadDriveSmart(nullptr, 0));
  EXPECT_EQ(table.Drive(0).errorText, "");
}

}  // namespace
}  // namespace trelmoss

namespace trelmoss {
namespace {

using Fields = std::vector<std::pair<std::size_t, std::uint64_t>>;
using Logs = std::map<std::tuple<std::uint8_t, std::uint8_t, std::uint8_t>, test::SectorImage>;

// Little-endian values at their offsets; a S.M.A.R.T. log's checksum after them.
test::SectorImage LogSector(const Fields& fields, bool checksum = true) {
  test::SectorImage sector{};
  for (const auto& [offset, value] : fields) {
    for (std::size_t b = 0; b < 8 && offset + b < 511; ++b)
      sector[offset + b] = value >> 8 * b & 0xFF;
  }
  if (checksum)
    sector[511] = static_cast<std::uint8_t>(-std::accumulate(sector.begin(), sector.end() - 1, 0));
  return sector;
}

// A self-test log entry (1..21): its kind, status, hours and first failing LBA.
std::pair<std::size_t, std::uint64_t> Entry(std::size_t at, std::uint64_t kind,
                                            std::uint64_t status, std::uint64_t hours,
                                            std::uint64_t lba = 0) {
  return {2 + 24 * (at - 1), kind | status << 8 | hours << 16 | lba << 40};
}

// Device Statistics read a page at a time: log 04h's pages in the directory, the pages page
// 00h lists (a count, then one byte each), and each page's header and statistics.
Logs Statistics(std::uint64_t pageCount, std::uint64_t listing, std::map<int, Fields> pages) {
  Logs logs{{{kAtaReadLogExt, 0, 0}, LogSector({{8, pageCount}}, false)},
            {{kAtaReadLogExt, 4, 0}, LogSector({{8, listing}}, false)}};
  for (auto& [page, fields] : pages) {
    fields.insert(fields.begin(), {0, page << 16 | 1});
    logs[{kAtaReadLogExt, 4, page}] = LogSector(fields, false);
  }
  return logs;
}

TEST(SmartExchange, AtaLogsTable) {
  constexpr std::uint64_t kValid = 0xC0ULL << 56, kSupported = 0x80ULL << 56;
  const auto selfTests = [](const Fields& fields) {
    return Logs{{{kAtaSmart, 6, 0}, LogSector(fields)}};
  };
  Logs clean = Statistics(8, 0x07050103,
                          {{1, {{0x10, kValid | 0x1000000100}, {0x18, kValid | 5000}}},
                           {5, {{0x08, kValid | 41}, {0x28, kValid | 0xFB}, {0x58, kValid | 70}}},
                           {7, {{0x08, kValid | 3}}}});
  clean[{kAtaSmart, 6, 0}] = LogSector({Entry(1, 1, 0x00, 90), {508, 1}});
  clean[{kAtaSmart, 1, 0}] = LogSector({{452, 2}});
  const struct {
    Logs logs;
    const char* element;  // from "<ata" to the verdict, blanks and line ends left out
    const char* verdict;
    std::size_t requests;  // every one the drive receives, each log read included
  } cases[] = {
      {clean,
       R"(<atapercentage_used="3"temperature="41"lowest_temperature="-5"max_operating_temperature="70")"
       R"(power_on_hours="256"logical_sectors_written="5000"error_count="2"self_tests="1">)"
       R"(<selftesttype="short"status="0"hours="90"/></ata>)",
       "good", 13},
      // Worn past its rating, hotter than its own limit; 07h listed twice is read once.
      {Statistics(8, 0x07050703,
                  {{5, {{0x08, kValid | 75}, {0x58, kValid | 70}}}, {7, {{0x08, kValid | 130}}}}),
       R"(<atapercentage_used="130"temperature="75"max_operating_temperature="70"/>)",
       "warning: percentage_used 130, temperature_above_limit 75", 12},
      // A header naming another page, statistics not valid or not supported, a page past the
      // log's end and one not listed: none is taken.
      {Statistics(7, 0x07050103,
                  {{1, {{0x10, kSupported | 9}, {0x18, 0x40ULL << 56 | 9}, {0x28, kValid | 9}}},
                   {5, {{0x08, kValid | 99}, {0, 6 << 16}}},
                   {7, {{0x08, kValid | 99}}}}),
       R"(<atalogical_sectors_read="9"/>)", "good", 12},
      // The index wraps: newest the 2nd, then the 1st, then the 21st. The extended test's read
      // failure stands: only a short test passed after it.
      {selfTests(
           {Entry(21, 2, 0x00, 10), Entry(1, 2, 0x73, 20, 1234), Entry(2, 1, 0x00, 30), {508, 2}}),
       nullptr, "warning: self_test_log_read_failure 1234", 8},
      // An element failure a later captive extended test cleared; then a newer one.
      {selfTests({Entry(1, 2, 0x54, 20, 77), Entry(2, 0x82, 0x00, 30), {508, 2}}), nullptr, "good",
       8},
      {selfTests({Entry(1, 2, 0x00, 20), Entry(2, 1, 0x54, 30, 77), {508, 2}}), nullptr,
       "failing: self_test_log_failed 77", 8},
      // Checksums that do not hold.
      {{{{kAtaSmart, 6, 0}, LogSector({{508, 1}}, false)},
        {{kAtaSmart, 1, 0}, LogSector({{452, 2}}, false)}},
       "",
       "good",
       8},
  };
  for (const auto& c : cases) {
    FakeDisk disk = HealthyDisk("/dev/sda", 0);
    // IDENTIFY word 84: error log, self-test log and, where a page is kept, general-purpose
    // logging.
    disk.identify[168] = c.logs.count({kAtaReadLogExt, 0, 0}) ? 0x23 : 0x03;
    disk.identify[169] = 0x40;
    disk.logs = c.logs;
    ExchangeRun run(disk, {.readStatus = true, .readLogs = true});
    JudgeDrives(run.table);
    auto report = Report::Create();
    report->AddDrives(run.table);
    std::string xml = report->Render();
    std::erase_if(xml, [](char ch) { return ch == ' ' || ch == '\r' || ch == '\n'; });
    const std::size_t at = std::min(xml.find("<ata"), xml.find("<health"));
    EXPECT_TRUE(!c.element || xml.substr(at, xml.find("<health") - at) == c.element) << xml;
    EXPECT_EQ(DescribeHealth(*run.record().health), c.verdict);
    // Each page once, and READ LOG EXT only to a drive that reads logs a page at a time.
    EXPECT_EQ(run.disks.StepsOf("/dev/sda").size(), c.requests) << c.verdict;
    EXPECT_TRUE(run.disks.unexpected.empty());
  }
}

}  // namespace
}  // namespace trelmoss
