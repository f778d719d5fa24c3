// The road of an ATA drive, whatever carries its commands.
#pragma once

#include "device/disk_system.h"
#include "model/drive_table.h"

namespace trelmoss {

// Capability query, then (CHECK POWER MODE when asked,) S.M.A.R.T. ENABLE, IDENTIFY DEVICE, READ
// DATA and READ THRESHOLDS (and RETURN STATUS when asked), into `record` alone.
bool ReadAtaDrive(DiskHandle& handle, DriveRecord& record, ReadOptions options);

}  // namespace trelmoss
