// Is this disk failing? One verdict a drive, judged from what the run read and nothing else:
// the drive's own S.M.A.R.T. status, its attributes against their thresholds, the counts of bad
// sectors, or an NVMe drive's health log. No drive is sent anything here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trelmoss {

class DriveTable;
struct DriveRecord;

// Ordered from best to worst for the judged states; asleep means not judged at all.
enum class HealthState : std::uint8_t { kGood, kWarning, kFailing, kUnknown, kAsleep };
inline constexpr HealthState kHealthStates[] = {HealthState::kGood, HealthState::kWarning,
                                                HealthState::kFailing, HealthState::kUnknown,
                                                HealthState::kAsleep};
const char* HealthStateName(HealthState state);

// One finding: what it is, the attribute it concerns (0: none) and its number (a count, a
// normalised value, a percentage, the critical warning byte).
struct HealthReason {
  const char* name;
  HealthState state;
  std::uint8_t attribute = 0;
  std::uint64_t value = 0;
};

struct DriveHealth {
  HealthState state = HealthState::kGood;  // the worst reason's
  std::vector<HealthReason> reasons;
};

// What S.M.A.R.T. RETURN STATUS answered, when the drive was asked.
enum class SmartStatus : std::uint8_t { kNotAsked, kPassed, kThresholdExceeded, kUnknown };

// "failing: smart_status_failed 1, reallocated_sectors 8 (attribute 5)": the state, then each
// reason with its number.
std::string DescribeHealth(const DriveHealth& health);

DriveHealth JudgeDrive(const DriveTable& table, std::uint8_t slot);
// Judges every registered drive into its record.
void JudgeDrives(DriveTable& table);
// The drive's own verdict as smartctl reports it: 1 passed, 0 failed, -1 when the drive gave
// none (an ATA status that was not read or not understood, an NVMe log that was not read).
int SmartStatusVerdict(const DriveRecord& record);

}  // namespace trelmoss
