#include "report/health_words.h"

#include <cstdio>
#include <string_view>

namespace trelmoss {
namespace {

// How each reason reads: `%v` stands for its number, `%x` for it in hexadecimal, `%a` for the
// attribute it concerns.
struct Wording {
  std::string_view name;
  std::string_view words;
};
constexpr Wording kWordings[] = {
    {"smart_status_failed", "the drive's own S.M.A.R.T. status says a threshold is exceeded"},
    {"smart_status_unavailable", "no S.M.A.R.T. status to be had: judged by the attributes alone"},
    {"prefail_at_threshold", "pre-failure attribute %a at %v, at or below its threshold"},
    {"prefail_failed_in_past", "pre-failure attribute %a was once at or below its threshold (%v)"},
    {"old_age_at_threshold", "old-age attribute %a at %v, at or below its threshold"},
    {"reallocated_sectors", "%v reallocated sectors (attribute %a)"},
    {"reported_uncorrectable", "%v uncorrectable errors reported (attribute %a)"},
    {"reallocation_events", "%v reallocation events (attribute %a)"},
    {"pending_sectors", "%v sectors waiting to be reallocated (attribute %a)"},
    {"offline_uncorrectable", "%v sectors found uncorrectable offline (attribute %a)"},
    {"self_test_failed", "the last self-test failed (status %x)"},
    {"self_test_read_failure", "the last self-test found unreadable sectors (status %x)"},
    {"self_test_log_failed", "a self-test in its log failed, first error at LBA %v"},
    {"self_test_log_read_failure", "a self-test in its log found unreadable sectors, from LBA %v"},
    {"temperature_above_limit", "%v degrees C, above the drive's own operating limit"},
    {"critical_warning_spare", "critical warning: spare capacity below its threshold"},
    {"critical_warning_temperature", "critical warning: temperature beyond a threshold"},
    {"critical_warning_reliability", "critical warning: reliability degraded"},
    {"critical_warning_read_only", "critical warning: the media is read-only"},
    {"critical_warning_volatile_backup", "critical warning: volatile memory backup failed"},
    {"critical_warning_persistent_memory", "critical warning: persistent memory unreliable"},
    {"critical_warning_bit_6", "critical warning bit 6 (%x)"},
    {"critical_warning_bit_7", "critical warning bit 7 (%x)"},
    {"endurance_group_critical_warning", "an endurance group's critical warning (%x)"},
    {"available_spare_below_threshold", "available spare %v%, below its threshold"},
    {"percentage_used", "%v% of the rated life used"},
    {"media_errors", "%v media errors"},
    {"failure_predicted", "the disk predicts its own failure (ASCQ %x)"},
    {"informational_warning", "the disk reports a warning (ASCQ %x)"},
    {"raid_volume_members_listed", "a RAID volume: its disks are listed and judged on their own"},
    {"grown_defects", "%v defects grown since it left the factory"},
};

std::string Hexadecimal(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%02llXh", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace

std::string ReasonInWords(const HealthReason& reason) {
  std::string_view words;
  for (const Wording& wording : kWordings) {
    if (wording.name == reason.name) words = wording.words;
  }
  if (words.empty()) return std::string(reason.name) + " " + std::to_string(reason.value);
  std::string text;
  for (std::size_t at = 0; at < words.size(); ++at) {
    if (words[at] != '%' || at + 1 == words.size()) {
      text += words[at];
      continue;
    }
    const char mark = words[++at];
    if (mark == 'v') text += std::to_string(reason.value);
    if (mark == 'x') text += Hexadecimal(reason.value);
    if (mark == 'a') text += std::to_string(reason.attribute);
    if (mark != 'v' && mark != 'x' && mark != 'a') text.append(1, '%').append(1, mark);
  }
  return text;
}

}  // namespace trelmoss
