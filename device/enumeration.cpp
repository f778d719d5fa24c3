// Finding the drives: every present disk interface is opened, numbered and registered in the
// next free slot, in the platform's order; then the registered drives are read side by side.
// At most 32 drives are registered.
#include "device/disk_system.h"
#include "device/side_by_side.h"
#include "model/console.h"
#include "model/drive_table.h"

namespace trelmoss {

bool DriveTable::EnumerateDrives(DiskSystem& disks, Console& console, ReadOptions options) {
  const std::unique_ptr<DiskList> list = disks.ListDisks();
  if (!list) return false;
  disks.LimitCommandTime(std::min(kLongestCommandSeconds, options.deadlineSeconds));
  std::vector<OpenDrive> opened;
  std::string path;
  for (std::uint32_t index = 0; driveCount_ < kMaxDrives; ++index) {
    const InterfaceLookup lookup = list->Fetch(index, path);
    if (lookup == InterfaceLookup::kNoMore) break;
    if (lookup == InterfaceLookup::kOutOfMemory) return false;
    if (lookup == InterfaceLookup::kDetailFailed) continue;
    int error = 0;
    std::unique_ptr<DiskHandle> handle = disks.Open(path, error);
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
    opened.push_back({record, std::move(handle)});
  }
  const std::vector<std::optional<DriveRecord>> read = ReadSideBySide(std::move(opened), options);
  for (std::uint8_t slot = 0; slot < read.size(); ++slot) {
    if (read[slot]) {
      StoreDrive(*read[slot]);
      continue;
    }
    DriveRecord& record = Drive(slot);
    record.errorText = "no answer within " + std::to_string(options.deadlineSeconds) + " s";
    PrintMessage(console, "%s: %s\r\n", record.devicePath.c_str(), record.errorText.c_str());
  }
  return true;
}

}  // namespace trelmoss
