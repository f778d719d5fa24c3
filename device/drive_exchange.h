// Reading one open drive into a record of its own, by the road its handle names. The exchange
// touches nothing but that record, so that drives can be read side by side.
#pragma once

#include <functional>

#include "device/disk_system.h"
#include "model/drive_table.h"

namespace trelmoss {

// A command that times out ends the exchange: the drive is sent nothing more. `beforeCommand`
// is called before each command the drive would be sent; false ends the exchange likewise.
bool ReadDrive(DiskHandle& handle, DriveRecord& record, ReadOptions options,
               std::function<bool()> beforeCommand = {});

}  // namespace trelmoss
