// The sectors that emulated ATA disks returned (captured by tests/windows/disk_driver/capture.sh
// and compiled in), named "DISK.identify", "DISK.data" and "DISK.thresholds".
#pragma once

#include <string>

#include "tests/sector_images.h"

namespace trelmoss::test {

// Throws std::out_of_range for a name that was not captured.
const SectorImage& CapturedSector(const std::string& name);

}  // namespace trelmoss::test
