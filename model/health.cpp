#include "model/health.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "model/drive_table.h"

namespace trelmoss {
namespace {

constexpr std::uint16_t kPreFailureFlag = 0x0001;
// Normalised values and thresholds outside 1..253 are not values: 0 and 254..255 mark an
// attribute a drive does not rate, and a threshold of 0 one that never fails.
constexpr int kLowestRating = 1;
constexpr int kHighestRating = 253;
// A raw count above this is not a count: vendors pack other fields into the 48 bits.
constexpr std::uint64_t kLargestSectorCount = 65535;

struct SectorCounter {
  std::uint8_t id;
  const char* name;
};
constexpr SectorCounter kSectorCounters[] = {{5, "reallocated_sectors"},
                                             {187, "reported_uncorrectable"},
                                             {197, "pending_sectors"},
                                             {196, "reallocation_events"},
                                             {198, "offline_uncorrectable"}};

// The NVMe Critical Warning bits, from bit 0; each fails the drive but the temperature's.
constexpr const char* kCriticalWarningBits[] = {
    "critical_warning_spare",           "critical_warning_temperature",
    "critical_warning_reliability",     "critical_warning_read_only",
    "critical_warning_volatile_backup", "critical_warning_persistent_memory",
    "critical_warning_bit_6",           "critical_warning_bit_7"};
constexpr int kTemperatureBit = 1;
constexpr std::uint64_t kWornOutPercentage = 100;

bool IsRating(int value) { return value >= kLowestRating && value <= kHighestRating; }

void JudgeAttribute(const AttributeEntry& entry, std::vector<HealthReason>& reasons) {
  const bool preFailure = (entry.flags & kPreFailureFlag) != 0;
  const int threshold = entry.threshold;
  if (IsRating(threshold) && IsRating(entry.value) && entry.value <= threshold) {
    reasons.push_back({preFailure ? "prefail_at_threshold" : "old_age_at_threshold",
                       preFailure ? HealthState::kFailing : HealthState::kWarning, entry.id,
                       entry.value});
  } else if (preFailure && IsRating(threshold) && IsRating(entry.worst) &&
             entry.worst <= threshold) {
    reasons.push_back({"prefail_failed_in_past", HealthState::kWarning, entry.id, entry.worst});
  }
  for (const SectorCounter& counter : kSectorCounters) {
    if (entry.id == counter.id && entry.wholeRaw >= 1 && entry.wholeRaw <= kLargestSectorCount) {
      reasons.push_back({counter.name, HealthState::kWarning, entry.id, entry.wholeRaw});
    }
  }
}

// The upper nibble of the self-test execution status: how the last self-test ended. 4, 5, 6 and
// 8 name a failed element (unknown, electrical, servo/seek, handling damage); 7 the read
// element, that is unreadable sectors. 0 passed, 1 aborted, 2 interrupted, 3 not completed and F
// in progress say nothing of the drive.
void JudgeSelfTest(std::optional<std::uint8_t> status, std::vector<HealthReason>& reasons) {
  if (!status) return;
  switch (*status >> 4) {
    case 4:
    case 5:
    case 6:
    case 8:
      reasons.push_back({"self_test_failed", HealthState::kFailing, 0, *status});
      break;
    case 7:
      reasons.push_back({"self_test_read_failure", HealthState::kWarning, 0, *status});
      break;
    default:
      break;
  }
}

// How thorough a self-test kind is: a failure stands until a test at least as thorough passes.
// Offline collection and vendor tests rank lowest; the captive forms (81h..84h) as their kind.
int Thoroughness(std::uint8_t type) {
  switch (type & 0x7F) {
    case 0x01:  // short
    case 0x03:  // conveyance
      return 1;
    case 0x04:  // selective
      return 2;
    case 0x02:  // extended
      return 3;
    default:
      return 0;
  }
}

// The newest failed self-test that no later one as thorough passed after, with the LBA of its
// first error; judged as the execution status byte is.
void JudgeSelfTestLog(const std::optional<std::vector<SelfTestEntry>>& log,
                      std::vector<HealthReason>& reasons) {
  if (!log) return;
  int passedSince = -1;  // the most thorough kind that passed after the entry at hand
  for (const SelfTestEntry& entry : *log) {
    if (entry.status >> 4 == 0) passedSince = std::max(passedSince, Thoroughness(entry.type));
    if (passedSince >= Thoroughness(entry.type)) continue;
    if (SelfTestElementFailed(entry.status)) {
      reasons.push_back({"self_test_log_failed", HealthState::kFailing, 0, entry.firstErrorLba});
      return;
    }
    if (SelfTestReadFailed(entry.status)) {
      reasons.push_back(
          {"self_test_log_read_failure", HealthState::kWarning, 0, entry.firstErrorLba});
      return;
    }
  }
}

// Wear and temperature against the drive's own limit, from its Device Statistics.
void JudgeStatistics(const AtaLogs& logs, std::vector<HealthReason>& reasons) {
  if (logs.percentageUsed && *logs.percentageUsed >= kWornOutPercentage) {
    reasons.push_back({"percentage_used", HealthState::kWarning, 0, *logs.percentageUsed});
  }
  if (logs.temperature && logs.maxOperatingTemperature &&
      *logs.temperature > *logs.maxOperatingTemperature) {
    reasons.push_back({"temperature_above_limit", HealthState::kWarning, 0,
                       static_cast<std::uint64_t>(std::max<int>(*logs.temperature, 0))});
  }
}

// The drive's status decides alone when it says a threshold is exceeded; otherwise the
// attributes do.
std::vector<HealthReason> JudgeAta(const DriveTable& table, const DriveRecord& record) {
  std::vector<HealthReason> reasons;
  if (record.smartStatus == SmartStatus::kThresholdExceeded) {
    reasons.push_back({"smart_status_failed", HealthState::kFailing, 0, 1});
  }
  // The entries the report keeps: for a repeated id, the later one.
  const AttributeIndex& index = table.Index();
  const auto end = index.lower_bound(AttributeKey(record.slot + 1u, 0));
  for (auto at = index.lower_bound(AttributeKey(record.slot, 0)); at != end; ++at) {
    JudgeAttribute(*at->second, reasons);
  }
  JudgeSelfTest(record.selfTestStatus, reasons);
  JudgeSelfTestLog(record.ataLogs.selfTests, reasons);
  JudgeStatistics(record.ataLogs, reasons);
  // Asked for and not had (a controller that carries no registers back): the attributes alone
  // judge, and the verdict says so without being made worse by it.
  if (record.smartStatus == SmartStatus::kUnknown) {
    reasons.push_back({"smart_status_unavailable", HealthState::kGood, 0, 1});
  }
  return reasons;
}

// A health field's value; a count too large for 64 bits saturates, which judges the same.
std::uint64_t NvmeField(const DriveRecord& record, std::string_view name) {
  for (const HealthLogField& field : record.nvmeHealth) {
    if (name == field.name) return std::strtoull(field.value.c_str(), nullptr, 10);
  }
  return 0;
}

std::vector<HealthReason> JudgeNvme(const DriveRecord& record) {
  std::vector<HealthReason> reasons;
  const std::uint64_t warning = NvmeField(record, "critical_warning");
  for (int bit = 0; bit < 8; ++bit) {
    if ((warning >> bit & 1) == 0) continue;
    const HealthState state =
        bit == kTemperatureBit ? HealthState::kWarning : HealthState::kFailing;
    reasons.push_back({kCriticalWarningBits[bit], state, 0, warning});
  }
  if (record.nvmeEnduranceWarning != 0) {
    reasons.push_back({"endurance_group_critical_warning", HealthState::kFailing, 0,
                       record.nvmeEnduranceWarning});
  }
  const std::uint64_t spare = NvmeField(record, "available_spare");
  if ((warning & 1) == 0 && spare < NvmeField(record, "available_spare_threshold")) {
    reasons.push_back({"available_spare_below_threshold", HealthState::kFailing, 0, spare});
  }
  if (const std::uint64_t used = NvmeField(record, "percentage_used"); used >= kWornOutPercentage) {
    reasons.push_back({"percentage_used", HealthState::kWarning, 0, used});
  }
  if (const std::uint64_t errors = NvmeField(record, "media_errors"); errors > 0) {
    reasons.push_back({"media_errors", HealthState::kWarning, 0, errors});
  }
  return reasons;
}

// A SCSI disk's informational exception: failure predicted (ASC 5Dh, the TEST's 5Dh/FFh
// included) fails it, a warning (0Bh) warns; a grown defect list warns.
constexpr std::uint64_t kAscFailurePredicted = 0x5D;
constexpr std::uint64_t kAscWarning = 0x0B;

bool HasField(const std::vector<HealthLogField>& fields, std::string_view name) {
  return std::any_of(fields.begin(), fields.end(),
                     [name](const HealthLogField& field) { return field.name == name; });
}

std::uint64_t ScsiField(const DriveRecord& record, std::string_view name) {
  for (const HealthLogField& field : record.scsiHealth) {
    if (name == field.name) return std::strtoull(field.value.c_str(), nullptr, 10);
  }
  return 0;
}

std::vector<HealthReason> JudgeScsi(const DriveRecord& record) {
  std::vector<HealthReason> reasons;
  const std::uint64_t asc = ScsiField(record, "asc");
  const std::uint64_t ascq = ScsiField(record, "ascq");
  if (HasField(record.scsiHealth, "asc") && asc == kAscFailurePredicted) {
    reasons.push_back({"failure_predicted", HealthState::kFailing, 0, ascq});
  } else if (HasField(record.scsiHealth, "asc") && asc == kAscWarning) {
    reasons.push_back({"informational_warning", HealthState::kWarning, 0, ascq});
  }
  if (const std::uint64_t defects = ScsiField(record, "scsi_grown_defect_list"); defects > 0) {
    reasons.push_back({"grown_defects", HealthState::kWarning, 0, defects});
  }
  return reasons;
}

bool NothingToJudge(const DriveRecord& record) {
  if (record.nvme) return record.nvmeHealth.empty();
  if (record.scsi) {
    return !HasField(record.scsiHealth, "asc") &&
           !HasField(record.scsiHealth, "scsi_grown_defect_list");
  }
  const bool statusKnown = record.smartStatus == SmartStatus::kPassed ||
                           record.smartStatus == SmartStatus::kThresholdExceeded;
  return !statusKnown && !record.smartSectorsRead;
}

}  // namespace

const char* HealthStateName(HealthState state) {
  switch (state) {
    case HealthState::kGood:
      return "good";
    case HealthState::kWarning:
      return "warning";
    case HealthState::kFailing:
      return "failing";
    case HealthState::kUnknown:
      return "unknown";
    case HealthState::kAsleep:
      return "asleep";
  }
  return "unknown";
}

std::string DescribeHealth(const DriveHealth& health) {
  std::string text = HealthStateName(health.state);
  for (std::size_t i = 0; i < health.reasons.size(); ++i) {
    const HealthReason& reason = health.reasons[i];
    text.append(i == 0 ? ": " : ", ").append(reason.name).append(" ");
    text.append(std::to_string(reason.value));
    if (reason.attribute != 0) {
      text.append(" (attribute ").append(std::to_string(reason.attribute)).append(")");
    }
  }
  return text;
}

DriveHealth JudgeDrive(const DriveTable& table, std::uint8_t slot) {
  const DriveRecord& record = table.Drive(slot);
  if (record.asleep) return {HealthState::kAsleep, {}};
  // A volume's health is its members', each listed and judged on its own.
  if (record.raid == RaidPlace::kVolume) {
    return {HealthState::kUnknown, {{"raid_volume_members_listed", HealthState::kUnknown, 0, 1}}};
  }
  if (NothingToJudge(record)) return {HealthState::kUnknown, {}};
  DriveHealth health;
  health.reasons = record.nvme   ? JudgeNvme(record)
                   : record.scsi ? JudgeScsi(record)
                                 : JudgeAta(table, record);
  for (const HealthReason& reason : health.reasons) {
    health.state = std::max(health.state, reason.state);
  }
  return health;
}

void JudgeDrives(DriveTable& table) {
  for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) {
    table.Drive(slot).health = JudgeDrive(table, slot);
  }
}

int SmartStatusVerdict(const DriveRecord& record) {
  if (record.scsi) {
    if (!HasField(record.scsiHealth, "asc")) return -1;
    return ScsiField(record, "asc") == kAscFailurePredicted ? 0 : 1;
  }
  if (record.nvme) {
    if (record.nvmeHealth.empty()) return -1;
    return NvmeField(record, "critical_warning") == 0 ? 1 : 0;
  }
  if (record.smartStatus == SmartStatus::kPassed) return 1;
  if (record.smartStatus == SmartStatus::kThresholdExceeded) return 0;
  return -1;
}

}  // namespace trelmoss
