// When a run judges health: what an ATA drive keeps in its logs, asked one read-only sector at a
// time. A log the drive or its road refuses is simply not had.
#pragma once

#include "device/ata/ata_log_decoders.h"
#include "device/disk_system.h"
#include "model/drive_table.h"

namespace trelmoss {

// The Device Statistics pages through general-purpose logging, then the self-test and summary
// error logs through S.M.A.R.T. READ LOG, each only where `support` says the drive keeps it.
void ReadAtaLogs(DiskHandle& handle, DriveRecord& record, LogSupport support);

}  // namespace trelmoss
