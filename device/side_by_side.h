// Reading the opened drives side by side, each on a thread of its own, every drive into its own
// record, with a deadline: a drive whose command never comes back holds back neither the others
// nor the report.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "device/disk_system.h"
#include "model/drive_table.h"

namespace trelmoss {

struct OpenDrive {
  DriveRecord record;  // as registered: slot, path, number, name
  std::unique_ptr<DiskHandle> handle;
};

// At most `options.jobs` drives at once, taken in slot order; each handle is closed once its
// drive is read. The records come back in the same order; a drive whose reading had not ended
// when `options.deadlineSeconds` passed comes back empty, and its thread is left to end, or
// not, on its own: nothing it still holds is shared.
std::vector<std::optional<DriveRecord>> ReadSideBySide(std::vector<OpenDrive> drives,
                                                       ReadOptions options);

}  // namespace trelmoss
