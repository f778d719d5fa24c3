// Reading one open drive into a record of its own, by the road its handle names. The exchange
// touches nothing but that record, so that drives can be read side by side.
#pragma once

#include "device/disk_system.h"
#include "model/drive_table.h"

namespace trelmoss {

// A command that times out ends the exchange: the drive is sent nothing more.
bool ReadDrive(DiskHandle& handle, DriveRecord& record, ReadOptions options);

}  // namespace trelmoss
