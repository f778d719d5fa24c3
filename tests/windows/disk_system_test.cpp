#include <gtest/gtest.h>
#include <windows.h>

#include "device/windows/windows_disk_system.h"
#include "model/console.h"
#include "model/drive_table.h"

namespace trelmoss {
namespace {

// Wine lists no disk interfaces: the list is obtained, holds nothing, and is released.
TEST(WindowsDiskSystem, EnumeratesWhatTheSystemLists) {
  WindowsDiskSystem disks;
  Console console;
  DriveTable table;
  EXPECT_TRUE(table.EnumerateDrives(disks, console));
  std::string path;
  const auto list = disks.ListDisks();
  ASSERT_NE(list, nullptr);
  std::uint32_t listed = 0;
  while (list->Fetch(listed, path) != InterfaceLookup::kNoMore) ++listed;
  EXPECT_LE(table.DriveCount(), listed);
}

TEST(WindowsDiskSystem, OpenFailureCarriesTheSystemError) {
  WindowsDiskSystem disks;
  int error = 0;
  EXPECT_EQ(disks.Open("\\\\.\\PhysicalDrive4096", error), nullptr);
  EXPECT_NE(error, 0);
}

}  // namespace
}  // namespace trelmoss
