// What an ATA drive keeps in its logs, read when a run judges health: its Device Statistics (in
// the standard's units), the history of its self-tests and the count of errors it logged. Each
// value is absent when the drive did not give it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace trelmoss {

// One entry of the self-test log, newest first in `AtaLogs::selfTests`.
struct SelfTestEntry {
  std::uint8_t type = 0;    // what ran it: 1 short, 2 extended, 3 conveyance (81h..83h captive)
  std::uint8_t status = 0;  // its execution status byte: how it ended in the upper nibble
  std::uint16_t hours = 0;  // the drive's power-on hours when it ended
  std::uint32_t firstErrorLba = 0;
};

struct AtaLogs {
  // Device Statistics.
  std::optional<std::uint32_t> powerOnHours;
  std::optional<std::uint64_t> sectorsWritten;
  std::optional<std::uint64_t> sectorsRead;
  std::optional<std::int8_t> temperature;  // degrees Celsius, as are the four below
  std::optional<std::int8_t> highestTemperature;
  std::optional<std::int8_t> lowestTemperature;
  std::optional<std::int8_t> maxOperatingTemperature;  // the drive's own specified limits
  std::optional<std::int8_t> minOperatingTemperature;
  std::optional<std::uint8_t> percentageUsed;  // of the rated endurance; may exceed 100
  // The self-test log, when it was read (it may hold no entry), and the summary error log's
  // count of errors.
  std::optional<std::vector<SelfTestEntry>> selfTests;
  std::optional<std::uint16_t> errorCount;

  bool Empty() const {
    return !powerOnHours && !sectorsWritten && !sectorsRead && !temperature &&
           !highestTemperature && !lowestTemperature && !maxOperatingTemperature &&
           !minOperatingTemperature && !percentageUsed && !selfTests && !errorCount;
  }
};

// The upper nibble of a self-test status: 4, 5, 6 and 8 name a failed element (unknown,
// electrical, servo/seek, handling damage), 7 the read element: unreadable sectors.
constexpr bool SelfTestElementFailed(std::uint8_t status) {
  const int result = status >> 4;
  return result == 4 || result == 5 || result == 6 || result == 8;
}
constexpr bool SelfTestReadFailed(std::uint8_t status) { return status >> 4 == 7; }
constexpr bool SelfTestFailed(std::uint8_t status) {
  return SelfTestElementFailed(status) || SelfTestReadFailed(status);
}

}  // namespace trelmoss
