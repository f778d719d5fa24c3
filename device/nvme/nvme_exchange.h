// The road of an NVMe drive.
#pragma once

#include "device/disk_system.h"
#include "model/drive_table.h"

namespace trelmoss {

// The controller's identity, then its SMART / Health Information log, into `record` alone.
bool ReadNvmeDrive(DiskHandle& handle, DriveRecord& record);

}  // namespace trelmoss
