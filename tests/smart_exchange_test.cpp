#include <gtest/gtest.h>

#include "model/console.h"
#include "model/drive_table.h"
#include "tests/fake_disks.h"

namespace trelmoss {
namespace {

using test::FakeDisk;
using test::FakeDiskSystem;
using test::HealthyDisk;
using test::Step;

// Registers the fake's first disk in slot 0 and runs its exchange, as the enumeration does.
struct ExchangeRun {
  explicit ExchangeRun(FakeDisk disk) {
    disks.disks.push_back(std::move(disk));
    int error = 0;
    auto handle = disks.Open(disks.disks[0].path, error);
    table.RegisterDrive(disks.disks[0].path, disks.disks[0].deviceNumber);
    result = table.ReadDriveSmart(handle.get(), 0);
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
