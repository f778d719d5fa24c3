// The exchange with an NVMe drive: the controller's identity, then its SMART / Health Information
// log. Every failure becomes part of the drive's error text.
#include "device/nvme/nvme_exchange.h"

#include <array>

#include "device/disk_system.h"
#include "device/error_text.h"
#include "device/nvme/nvme_decoders.h"
#include "model/drive_table.h"

namespace trelmoss {

// The identity failing replaces the error text and the health log failing appends to it, as on
// the ATA road; the log is read whether or not the identity was.
bool ReadNvmeDrive(DiskHandle& handle, DriveRecord& record) {
  record.nvme = true;
  int error = 0;
  NvmeIdentity identity;
  if (handle.ReadNvmeIdentity(identity, error)) {
    DecodeNvmeIdentity(record, identity);
  } else {
    record.errorText = ErrorText("Error %d in reading basic SMART data", error);
  }
  std::array<std::uint8_t, kNvmeHealthLogBytes> log{};
  if (!handle.ReadNvmeHealthLog(log, error)) {
    record.errorText += ErrorText("Error %d reading detailed SMART data", error);
    return false;
  }
  DecodeNvmeHealth(record, log);
  return true;
}

}  // namespace trelmoss
