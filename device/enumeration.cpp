// Finding the drives: every present disk interface is opened, numbered, registered in the next
// free slot and read while its handle is open. At most 32 drives are registered.
#include "device/disk_system.h"
#include "model/console.h"
#include "model/drive_table.h"

namespace trelmoss {

bool DriveTable::EnumerateDrives(DiskSystem& disks, Console& console, ReadOptions options) {
  const std::unique_ptr<DiskList> list = disks.ListDisks();
  if (!list) return false;
  std::string path;
  for (std::uint32_t index = 0; driveCount_ < kMaxDrives; ++index) {
    const InterfaceLookup lookup = list->Fetch(index, path);
    if (lookup == InterfaceLookup::kNoMore) break;
    if (lookup == InterfaceLookup::kOutOfMemory) return false;
    if (lookup == InterfaceLookup::kDetailFailed) continue;
    int error = 0;
    const std::unique_ptr<DiskHandle> handle = disks.Open(path, error);
    if (!handle) {
      PrintMessage(console, "can't open device %s  (Error %d)", path.c_str(), error);
      continue;
    }
    std::uint32_t deviceNumber = 0;
    if (!handle->GetDeviceNumber(deviceNumber, error)) {
      PrintMessage(console, "can't get device number %s  (Error %d)", path.c_str(), error);
      continue;
    }
    DriveRecord& record = RegisterDrive(path, deviceNumber);
    record.deviceName = handle->Name();
    ReadDriveSmart(handle.get(), record.slot, options);
  }
  return true;
}

}  // namespace trelmoss
