// The road of a SCSI disk read through its log pages.
#pragma once

#include "device/disk_system.h"
#include "model/drive_table.h"

namespace trelmoss {

// INQUIRY and the unit serial number, each health log page the disk lists, its grown defects
// and its informational exception, into `record` alone. Only commands that read.
bool ReadScsiDrive(DiskHandle& handle, DriveRecord& record, ReadOptions options);
// INQUIRY and the unit serial number alone, for a disk that keeps no log pages: who it is, as
// `smartctl -i` shows it, with no health data.
bool ReadScsiIdentity(DiskHandle& handle, DriveRecord& record);

}  // namespace trelmoss
