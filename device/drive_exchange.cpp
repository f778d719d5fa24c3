#include "device/drive_exchange.h"

#include "device/ata/ata_exchange.h"
#include "device/nvme/nvme_exchange.h"
#include "device/scsi/scsi_exchange.h"
#include "device/timeout_latch.h"

namespace trelmoss {

bool ReadDrive(DiskHandle& handle, DriveRecord& record, ReadOptions options,
               std::function<bool()> beforeCommand) {
  TimeoutLatch disk(handle, std::move(beforeCommand));
  const DiskBus bus = disk.Bus();
  record.raid = disk.Raid();  // a disk may learn it with its road
  switch (bus) {
    case DiskBus::kNvme:
      return ReadNvmeDrive(disk, record);
    case DiskBus::kScsi:
      return ReadScsiDrive(disk, record, options);
    case DiskBus::kScsiIdentity:
      return ReadScsiIdentity(disk, record);
    case DiskBus::kAta:
      break;
  }
  return ReadAtaDrive(disk, record, options);
}

bool DriveTable::ReadDriveSmart(DiskHandle* handle, std::uint8_t slot, ReadOptions options) {
  if (handle == nullptr) return false;
  const bool read = ReadDrive(*handle, Drive(slot), options);
  IndexDrive(slot);
  return read;
}

}  // namespace trelmoss
