#include <gtest/gtest.h>

#include <algorithm>

#include "model/console.h"
#include "model/drive_table.h"
#include "tests/fake_disks.h"

namespace trelmoss {
namespace {

using test::FakeDisk;
using test::FakeDiskSystem;
using test::HealthyDisk;

struct Enumeration {
  bool result = false;
  Console console;
  DriveTable table;
};

void Enumerate(FakeDiskSystem& disks, Enumeration& run) {
  run.result = run.table.EnumerateDrives(disks, run.console);
}

TEST(EnumerateDrives, NoDiskIsSuccessWithNothingPrinted) {
  FakeDiskSystem disks;
  Enumeration run;
  Enumerate(disks, run);
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.table.DriveCount(), 0);
  EXPECT_EQ(run.console.Text(), "");
}

TEST(EnumerateDrives, ListFailureAndAllocationFailureFail) {
  FakeDiskSystem unlisted;
  unlisted.listFails = true;
  Enumeration first;
  Enumerate(unlisted, first);
  EXPECT_FALSE(first.result);

  FakeDiskSystem starved;
  starved.disks = {HealthyDisk("/dev/a", 0), HealthyDisk("/dev/b", 1)};
  starved.outOfMemoryAt = 1;
  Enumeration second;
  Enumerate(starved, second);
  EXPECT_FALSE(second.result);
  EXPECT_FALSE(starved.listOpen);  // the list is released on the failing path too
  EXPECT_EQ(starved.openHandles, 0);
}

TEST(EnumerateDrives, SkippedInterfacesLeaveSlotsDenseInListingOrder) {
  FakeDiskSystem disks;
  FakeDisk unopenable = HealthyDisk("/dev/a", 10);
  unopenable.openError = 13;
  FakeDisk unnumbered = HealthyDisk("/dev/b", 11);
  unnumbered.numberError = 1;
  FakeDisk noDetail = HealthyDisk("/dev/c", 12);
  noDetail.detailFails = true;
  disks.disks = {unopenable, unnumbered, noDetail, HealthyDisk("/dev/d", 300),
                 HealthyDisk("/dev/e", 4)};
  Enumeration run;
  Enumerate(disks, run);
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.console.Text(),
            "can't open device /dev/a  (Error 13)can't get device number /dev/b  (Error 1)");
  ASSERT_EQ(run.table.DriveCount(), 2);
  EXPECT_EQ(run.table.Drive(0).devicePath, "/dev/d");
  EXPECT_EQ(run.table.Drive(0).deviceNumber, 300u);
  EXPECT_EQ(run.table.Drive(1).devicePath, "/dev/e");
  EXPECT_EQ(run.table.FindAttribute(1, 9)->raw, 1234u);
  std::sort(disks.opened.begin(), disks.opened.end());  // opened side by side
  EXPECT_EQ(disks.opened, (std::vector<std::string>{"/dev/a", "/dev/b", "/dev/d", "/dev/e"}));
  EXPECT_LE(disks.mostOpenHandles, 3);  // each that opens, only while its turn lasts
  EXPECT_EQ(disks.openHandles, 0);
  EXPECT_FALSE(disks.listOpen);
}

TEST(EnumerateDrives, DeviceNumbersAbove255AreKeptWhole) {
  FakeDiskSystem disks;
  disks.disks = {HealthyDisk("/dev/a", 0x1FF), HealthyDisk("/dev/b", 256)};
  Enumeration run;
  Enumerate(disks, run);
  EXPECT_EQ(run.table.Drive(0).deviceNumber, 0x1FFu);
  EXPECT_EQ(run.table.Drive(1).deviceNumber, 256u);
  EXPECT_EQ(run.table.Drive(1).attributeCount, 3);
}

TEST(EnumerateDrives, StopsAtThirtyTwoDrivesWithoutOpeningTheRest) {
  FakeDiskSystem disks;
  for (std::uint32_t i = 0; i < 34; ++i) {
    disks.disks.push_back(HealthyDisk("/dev/d" + std::to_string(i), i));
  }
  disks.disks[3].openError = 5;  // a skipped one does not use up a slot
  Enumeration run;
  Enumerate(disks, run);
  EXPECT_EQ(run.table.DriveCount(), 32);
  EXPECT_EQ(run.table.Drive(31).devicePath, "/dev/d32");
  EXPECT_EQ(disks.opened.size(), 33u);  // one in place of the skipped one, no more
  EXPECT_EQ(std::count(disks.opened.begin(), disks.opened.end(), "/dev/d33"), 0);
  EXPECT_EQ(run.table.Index().size(), 32u * 3);
}

TEST(EnumerateDrives, EveryRegisteredDriveKeepsItsSlotWhateverFails) {
  FakeDiskSystem disks;
  const test::Step steps[] = {test::Step::kVersion, test::Step::kEnable, test::Step::kIdentify,
                              test::Step::kReadData, test::Step::kReadThresholds};
  for (std::uint32_t i = 0; i < 32; ++i) {
    FakeDisk disk = HealthyDisk("/dev/d" + std::to_string(i), i);
    for (std::size_t s = 0; s < 5; ++s) {
      if ((i >> s) & 1) disk.failures[steps[s]] = static_cast<int>(s + 1);
    }
    disks.disks.push_back(disk);
  }
  Enumeration run;
  Enumerate(disks, run);
  ASSERT_EQ(run.table.DriveCount(), 32);
  for (std::uint32_t i = 0; i < 32; ++i) {
    EXPECT_EQ(run.table.Drive(i).devicePath, "/dev/d" + std::to_string(i));
    EXPECT_EQ(run.table.Drive(i).errorText.empty(), i == 0) << i;
  }
  EXPECT_TRUE(disks.unexpected.empty());
}

}  // namespace
}  // namespace trelmoss
