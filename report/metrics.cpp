#include "report/metrics.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "ini/ini_encoding.h"
#include "model/drive_table.h"
#include "report/ata_log_fields.h"

namespace trelmoss {
namespace {

using Labels = std::vector<std::pair<const char*, std::string>>;

// A label value: UTF-8, with backslash, double quote and line feed escaped.
std::string LabelValue(std::string_view windows1251) {
  std::string escaped;
  for (const char c : Windows1251ToUtf8(windows1251)) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return escaped;
}

class Exposition {
 public:
  void Family(const char* name, const char* type, const char* help) {
    name_ = name;
    text_.append("# HELP ").append(name).append(" ").append(help).append("\n");
    text_.append("# TYPE ").append(name).append(" ").append(type).append("\n");
  }
  void Sample(const Labels& labels, const std::string& value) {
    text_.append(name_);
    for (std::size_t i = 0; i < labels.size(); ++i) {
      text_.append(i == 0 ? "{" : ",").append(labels[i].first).append("=\"");
      text_.append(LabelValue(labels[i].second)).append("\"");
    }
    text_.append(labels.empty() ? " " : "} ").append(value).append("\n");
  }
  const std::string& Text() const { return text_; }

 private:
  const char* name_ = "";
  std::string text_;
};

std::string Number(double value, const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void AddInfo(Exposition& out, const DriveTable& table) {
  out.Family("trelmoss_device_info", "gauge",
             "Identity of each disk read: its name, path, model, serial number and firmware.");
  for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) {
    const DriveRecord& drive = table.Drive(slot);
    out.Sample({{"device", drive.deviceName},
                {"devicepath", drive.devicePath},
                {"model_name", std::string(drive.Model())},
                {"serial_number", std::string(drive.Serial())},
                {"firmware_version", std::string(drive.Firmware())}},
               "1");
  }
}

// The attributes the report lists: those the drive gave and the definitions file names.
void AddAttributes(Exposition& out, const DriveTable& table) {
  out.Family("trelmoss_device_attribute", "gauge",
             "S.M.A.R.T. attribute of an ATA drive: its normalised value, worst value, failure "
             "threshold (when the drive gives one) and whole 48-bit raw value.");
  for (const auto& indexed : table.Index()) {
    const AttributeEntry* entry = indexed.second;  // a plain name: lambdas take no bindings
    const AttributeDefinition* definition = table.FindDefinition(entry->id);
    if (definition == nullptr) continue;
    const DriveRecord& drive = table.Drive(indexed.first >> 16);
    const auto sample = [&](const char* type, std::uint64_t value) {
      out.Sample({{"device", drive.deviceName},
                  {"attribute_id", std::to_string(entry->id)},
                  {"attribute_name", definition->name},
                  {"attribute_value_type", type}},
                 std::to_string(value));
    };
    sample("value", entry->value);
    sample("worst", entry->worst);
    if (entry->threshold >= 0) sample("thresh", static_cast<std::uint64_t>(entry->threshold));
    sample("raw", entry->wholeRaw);
  }
}

void AddAsleep(Exposition& out, const DriveTable& table) {
  out.Family("trelmoss_device_asleep", "gauge",
             "1 for a disk found in standby and left asleep (--no-wake): nothing else was read.");
  for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) {
    const DriveRecord& drive = table.Drive(slot);
    out.Sample({{"device", drive.deviceName}}, drive.asleep ? "1" : "0");
  }
}

// A disk whose turn the deadline took was sent nothing: no exchange with it failed, and an alert
// on failed exchanges must not fire for a run that ran out of time.
void AddErrors(Exposition& out, const DriveTable& table) {
  out.Family("trelmoss_device_error", "gauge",
             "1 when an exchange with the disk failed, with the failure in the error label.");
  for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) {
    const DriveRecord& drive = table.Drive(slot);
    out.Sample({{"device", drive.deviceName}, {"error", drive.errorText}},
               drive.errorText.empty() || drive.turnMissed ? "0" : "1");
  }
  out.Family("trelmoss_device_not_read", "gauge",
             "1 for a disk not read because the run's deadline passed before its turn.");
  for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) {
    const DriveRecord& drive = table.Drive(slot);
    out.Sample({{"device", drive.deviceName}}, drive.turnMissed ? "1" : "0");
  }
}

// The NVMe health log's fields in base units, each a family of its own.
struct NvmeFamily {
  const char* field;
  const char* name;
  const char* type;
  double scale;  // from the log's unit to the metric's
  const char* help;
};
constexpr NvmeFamily kNvmeFamilies[] = {
    {"critical_warning", "trelmoss_nvme_critical_warning", "gauge", 1,
     "NVMe Critical Warning bits: 1 spare low, 2 temperature, 4 reliability degraded, 8 "
     "read-only, 16 volatile memory backup failed."},
    {"temperature", "trelmoss_nvme_temperature_celsius", "gauge", 1, "NVMe composite temperature."},
    {"available_spare", "trelmoss_nvme_available_spare_ratio", "gauge", 0.01,
     "NVMe remaining spare capacity."},
    {"available_spare_threshold", "trelmoss_nvme_available_spare_threshold_ratio", "gauge", 0.01,
     "NVMe spare capacity below which the drive warns."},
    {"percentage_used", "trelmoss_nvme_used_ratio", "gauge", 0.01,
     "NVMe estimate of the drive's life used; may exceed 1."},
    {"data_units_read", "trelmoss_nvme_read_bytes_total", "counter", 512000,
     "NVMe data read by the host."},
    {"data_units_written", "trelmoss_nvme_written_bytes_total", "counter", 512000,
     "NVMe data written by the host."},
    {"host_reads", "trelmoss_nvme_host_read_commands_total", "counter", 1,
     "NVMe read commands completed."},
    {"host_writes", "trelmoss_nvme_host_write_commands_total", "counter", 1,
     "NVMe write commands completed."},
    {"controller_busy_time", "trelmoss_nvme_controller_busy_seconds_total", "counter", 60,
     "NVMe time the controller was busy with I/O commands."},
    {"power_cycles", "trelmoss_nvme_power_cycles_total", "counter", 1, "NVMe power cycles."},
    {"power_on_hours", "trelmoss_nvme_power_on_seconds_total", "counter", 3600,
     "NVMe power-on time."},
    {"unsafe_shutdowns", "trelmoss_nvme_unsafe_shutdowns_total", "counter", 1,
     "NVMe shutdowns without notice to the drive."},
    {"media_errors", "trelmoss_nvme_media_errors_total", "counter", 1,
     "NVMe unrecovered data integrity errors."},
    {"num_err_log_entries", "trelmoss_nvme_error_log_entries_total", "counter", 1,
     "NVMe error information log entries over the drive's life."},
    {"warning_temp_time", "trelmoss_nvme_warning_temperature_seconds_total", "counter", 60,
     "NVMe time above the warning composite temperature."},
    {"critical_comp_time", "trelmoss_nvme_critical_temperature_seconds_total", "counter", 60,
     "NVMe time above the critical composite temperature."},
};

// A family fed by fields of a drive's health log: each member one field, with labels of its own
// where one family gathers several (the SCSI error counters' direction and method).
struct LogMember {
  std::string field;
  Labels labels;
};
struct LogFamily {
  const char* name;
  const char* type;
  double scale;  // from the log's unit to the metric's
  const char* help;
  std::vector<LogMember> members;
};

std::vector<LogFamily> NvmeFamilies() {
  std::vector<LogFamily> families;
  for (const NvmeFamily& row : kNvmeFamilies) {
    families.push_back({row.name, row.type, row.scale, row.help, {{row.field, {}}}});
  }
  return families;
}

// The SCSI error counter pages' fields, as smartctl names them: "read_", "write_" or "verify_"
// and the counter.
std::vector<LogMember> PerDirection(const std::string& counter, Labels extra = {}) {
  std::vector<LogMember> members;
  for (const char* direction : {"read", "write", "verify"}) {
    Labels labels = {{"direction", direction}};
    labels.insert(labels.end(), extra.begin(), extra.end());
    members.push_back({std::string(direction) + "_" + counter, labels});
  }
  return members;
}

std::vector<LogFamily> ScsiFamilies() {
  std::vector<LogFamily> families = {
      {"trelmoss_scsi_informational_exception_asc",
       "gauge",
       1,
       "SCSI informational exception's additional sense code: 0 none, 93 (5Dh) failure "
       "predicted, 11 (0Bh) a warning.",
       {{"asc", {}}}},
      {"trelmoss_scsi_informational_exception_ascq",
       "gauge",
       1,
       "SCSI informational exception's additional sense code qualifier.",
       {{"ascq", {}}}},
      {"trelmoss_scsi_temperature_celsius",
       "gauge",
       1,
       "SCSI disk's current temperature.",
       {{"temperature", {}}}},
      {"trelmoss_scsi_trip_temperature_celsius",
       "gauge",
       1,
       "SCSI disk's trip temperature, at which it reports a failure.",
       {{"drive_trip", {}}}},
      {"trelmoss_scsi_start_stop_cycles_total",
       "counter",
       1,
       "SCSI start-stop cycles.",
       {{"accumulated_start_stop_cycles", {}}}},
      {"trelmoss_scsi_specified_start_stop_cycles",
       "gauge",
       1,
       "SCSI start-stop cycles specified over the disk's life.",
       {{"specified_cycle_count_over_device_lifetime", {}}}},
      {"trelmoss_scsi_load_unload_cycles_total",
       "counter",
       1,
       "SCSI load-unload cycles.",
       {{"accumulated_load_unload_cycles", {}}}},
      {"trelmoss_scsi_specified_load_unload_cycles",
       "gauge",
       1,
       "SCSI load-unload cycles specified over the disk's life.",
       {{"specified_load_unload_count_over_device_lifetime", {}}}},
      {"trelmoss_scsi_power_on_seconds_total",
       "counter",
       60,
       "SCSI power-on time.",
       {{"power_on_minutes", {}}}},
  };
  std::vector<LogMember> byMethod;
  for (const char* method : {"eccfast", "eccdelayed", "rereads_rewrites"}) {
    const auto members =
        PerDirection(std::string("errors_corrected_by_") + method, {{"by", method}});
    byMethod.insert(byMethod.end(), members.begin(), members.end());
  }
  families.push_back({"trelmoss_scsi_errors_corrected_by_total", "counter", 1,
                      "SCSI errors corrected by ECC on the fly, delayed ECC, or rereads/rewrites.",
                      byMethod});
  families.push_back({"trelmoss_scsi_errors_corrected_total", "counter", 1,
                      "SCSI errors corrected, in all.", PerDirection("total_errors_corrected")});
  families.push_back({"trelmoss_scsi_correction_algorithm_invocations_total", "counter", 1,
                      "SCSI error correction algorithm invocations.",
                      PerDirection("correction_algorithm_invocations")});
  families.push_back({"trelmoss_scsi_processed_bytes_total", "counter", 1,
                      "SCSI bytes read, written or verified.", PerDirection("bytes_processed")});
  families.push_back({"trelmoss_scsi_uncorrected_errors_total", "counter", 1,
                      "SCSI errors not corrected.", PerDirection("total_uncorrected_errors")});
  families.push_back({"trelmoss_scsi_non_medium_errors_total",
                      "counter",
                      1,
                      "SCSI errors not of the medium.",
                      {{"non_medium_error_count", {}}}});
  families.push_back({"trelmoss_scsi_grown_defects",
                      "gauge",
                      1,
                      "SCSI defects found since the disk left the factory (the grown list).",
                      {{"scsi_grown_defect_list", {}}}});
  return families;
}

// An ATA drive's log values, each family of one field but the temperature limits'.
std::vector<LogFamily> AtaFamilies() {
  return {
      {"trelmoss_ata_percentage_used",
       "gauge",
       1,
       "ATA Device Statistics: percentage of the rated endurance used; may exceed 100.",
       {{"percentage_used", {}}}},
      {"trelmoss_ata_temperature_celsius",
       "gauge",
       1,
       "ATA Device Statistics: temperature now.",
       {{"temperature", {}}}},
      {"trelmoss_ata_temperature_highest_celsius",
       "gauge",
       1,
       "ATA Device Statistics: highest temperature over the drive's life.",
       {{"highest_temperature", {}}}},
      {"trelmoss_ata_temperature_lowest_celsius",
       "gauge",
       1,
       "ATA Device Statistics: lowest temperature over the drive's life.",
       {{"lowest_temperature", {}}}},
      {"trelmoss_ata_temperature_limit_celsius",
       "gauge",
       1,
       "ATA Device Statistics: the drive's own specified operating temperature limits.",
       {{"max_operating_temperature", {{"limit", "max"}}},
        {"min_operating_temperature", {{"limit", "min"}}}}},
      {"trelmoss_ata_power_on_seconds_total",
       "counter",
       3600,
       "ATA Device Statistics: power-on time.",
       {{"power_on_hours", {}}}},
      {"trelmoss_ata_logical_sectors_written_total",
       "counter",
       1,
       "ATA Device Statistics: logical sectors written.",
       {{"logical_sectors_written", {}}}},
      {"trelmoss_ata_logical_sectors_read_total",
       "counter",
       1,
       "ATA Device Statistics: logical sectors read.",
       {{"logical_sectors_read", {}}}},
      {"trelmoss_ata_logged_errors_total",
       "counter",
       1,
       "ATA summary error log: errors the drive logged over its life.",
       {{"error_count", {}}}},
  };
}

// The entries of a drive's self-test log that say it failed, whatever passed after them.
void AddSelfTestLogFailures(Exposition& out, const DriveTable& table) {
  out.Family("trelmoss_ata_self_test_log_failures", "gauge",
             "ATA self-test log: entries whose self-test found a failed element or unreadable "
             "sectors.");
  for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) {
    const DriveRecord& drive = table.Drive(slot);
    if (!drive.ataLogs.selfTests) continue;
    const auto failures =
        std::count_if(drive.ataLogs.selfTests->begin(), drive.ataLogs.selfTests->end(),
                      [](const SelfTestEntry& entry) { return SelfTestFailed(entry.status); });
    out.Sample({{"device", drive.deviceName}}, std::to_string(failures));
  }
}

void AddLogFamilies(Exposition& out, const DriveTable& table,
                    const std::vector<LogFamily>& families,
                    const std::function<std::vector<HealthLogField>(const DriveRecord&)>& log) {
  for (const LogFamily& family : families) {
    out.Family(family.name, family.type, family.help);
    for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) {
      const DriveRecord& drive = table.Drive(slot);
      const std::vector<HealthLogField> fields = log(drive);
      for (const LogMember& member : family.members) {
        for (const HealthLogField& field : fields) {
          if (field.name != member.field) continue;
          Labels labels = {{"device", drive.deviceName}};
          labels.insert(labels.end(), member.labels.begin(), member.labels.end());
          // Counters too large for a double lose digits, as every Prometheus sample would.
          const double value = std::strtod(field.value.c_str(), nullptr) * family.scale;
          out.Sample(labels, Number(value, "%.15g"));
        }
      }
    }
  }
}

// Whether any drive of the run has what `has` asks; families only some runs fill are written
// only then, so that other machines' metrics stay as they were.
bool AnyDrive(const DriveTable& table, bool (*has)(const DriveRecord&)) {
  for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) {
    if (has(table.Drive(slot))) return true;
  }
  return false;
}
bool HasScsiHealth(const DriveRecord& drive) { return !drive.scsiHealth.empty(); }
bool HasAtaLogs(const DriveRecord& drive) { return !drive.ataLogs.Empty(); }
bool IsJudged(const DriveRecord& drive) { return drive.health.has_value(); }
bool IsRaid(const DriveRecord& drive) { return drive.raid != RaidPlace::kNone; }

// The verdict: one series a state (1 for the drive's own), its reasons, and the drive's own
// status as the smartctl exporter names it, so that rules written for it work unchanged.
void AddHealth(Exposition& out, const DriveTable& table) {
  out.Family("trelmoss_device_health", "gauge",
             "1 for the disk's health state (good, warning, failing, unknown, asleep), 0 for the "
             "others.");
  for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) {
    const DriveRecord& drive = table.Drive(slot);
    for (const HealthState state : kHealthStates) {
      out.Sample({{"device", drive.deviceName}, {"state", HealthStateName(state)}},
                 drive.health->state == state ? "1" : "0");
    }
  }
  out.Family("trelmoss_device_health_reason", "gauge",
             "What made a disk's state, with its number: a count, a normalised value, a "
             "percentage or the NVMe critical warning.");
  for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) {
    const DriveRecord& drive = table.Drive(slot);
    for (const HealthReason& reason : drive.health->reasons) {
      Labels labels = {{"device", drive.deviceName}, {"reason", reason.name}};
      if (reason.attribute != 0)
        labels.push_back({"attribute_id", std::to_string(reason.attribute)});
      out.Sample(labels, std::to_string(reason.value));
    }
  }
  out.Family("trelmoss_device_smart_status", "gauge",
             "The disk's own verdict: 1 passed, 0 a threshold exceeded or an NVMe critical "
             "warning; absent where the disk gave none.");
  for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) {
    const DriveRecord& drive = table.Drive(slot);
    const int verdict = SmartStatusVerdict(drive);
    if (verdict >= 0) out.Sample({{"device", drive.deviceName}}, std::to_string(verdict));
  }
  out.Family("trelmoss_ata_self_test_status", "gauge",
             "The self-test execution status byte of an ATA disk's S.M.A.R.T. data: the upper "
             "nibble how the last self-test ended (0 passed, 1 aborted, 2 interrupted, 4 to 8 a "
             "failed element, 15 running), the lower the tenths of a running test left.");
  for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) {
    const DriveRecord& drive = table.Drive(slot);
    if (drive.selfTestStatus && !drive.nvme && !drive.scsi) {
      out.Sample({{"device", drive.deviceName}}, std::to_string(*drive.selfTestStatus));
    }
  }
}

}  // namespace

// Written only where a RAID controller was met, so that other machines' metrics stay as they were.
void AddRaid(Exposition& out, const DriveTable& table) {
  if (!AnyDrive(table, IsRaid)) return;
  out.Family("trelmoss_device_raid", "gauge",
             "1 for a disk read through the RAID controller it sits behind, 2 for a logical "
             "volume a RAID controller makes of its disks (judged by its disks), 0 otherwise.");
  for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) {
    const DriveRecord& drive = table.Drive(slot);
    out.Sample({{"device", drive.deviceName}}, std::to_string(static_cast<int>(drive.raid)));
  }
}

std::string RenderMetrics(const DriveTable& table, double runTime) {
  Exposition out;
  AddInfo(out, table);
  AddAttributes(out, table);
  AddErrors(out, table);
  AddAsleep(out, table);
  AddRaid(out, table);
  AddLogFamilies(out, table, NvmeFamilies(), &DriveRecord::nvmeHealth);
  if (AnyDrive(table, HasScsiHealth))
    AddLogFamilies(out, table, ScsiFamilies(), &DriveRecord::scsiHealth);
  if (AnyDrive(table, HasAtaLogs)) {
    AddLogFamilies(out, table, AtaFamilies(),
                   [](const DriveRecord& drive) { return AtaLogFields(drive.ataLogs); });
    AddSelfTestLogFailures(out, table);
  }
  if (AnyDrive(table, IsJudged)) AddHealth(out, table);
  out.Family("trelmoss_devices", "gauge", "Disks read by the last run.");
  out.Sample({}, std::to_string(table.DriveCount()));
  out.Family("trelmoss_last_run_timestamp_seconds", "gauge", "When the last run started.");
  out.Sample({}, Number(runTime, "%.3f"));
  return out.Text();
}

}  // namespace trelmoss
