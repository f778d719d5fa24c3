// The exchange with one open drive, by the road its handle names: ATA commands, an NVMe
// controller's identity and health log, or a SCSI disk's log pages.
#include "device/disk_system.h"
#include "model/drive_table.h"

namespace trelmoss {

bool DriveTable::ReadDriveSmart(DiskHandle* handle, std::uint8_t slot, ReadOptions options) {
  if (handle == nullptr) return false;
  switch (handle->Bus()) {
    case DiskBus::kNvme:
      return ReadNvmeDrive(*handle, slot);
    case DiskBus::kScsi:
      return ReadScsiDrive(*handle, slot, options);
    case DiskBus::kAta:
      break;
  }
  return ReadAtaDrive(*handle, slot, options);
}

}  // namespace trelmoss
