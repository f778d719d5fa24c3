// What emulated drives returned (captured by tests/windows/disk_driver/capture.sh and compiled
// in): the ATA sectors "DISK.identify", "DISK.data" and "DISK.thresholds", and an NVMe
// controller's "nvme0.identify" (4096 bytes) and "nvme0.health" (512).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/sector_images.h"

namespace trelmoss::test {

// Throw std::out_of_range for a name that was not captured.
const std::vector<std::uint8_t>& CapturedBytes(const std::string& name);
SectorImage CapturedSector(const std::string& name);

}  // namespace trelmoss::test
