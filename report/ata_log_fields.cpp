#include "report/ata_log_fields.h"

#include <string>

namespace trelmoss {
namespace {

template <typename Value>
void Add(std::vector<HealthLogField>& fields, const char* name, const std::optional<Value>& value) {
  if (value) fields.push_back({name, std::to_string(static_cast<long long>(*value))});
}

}  // namespace

std::vector<HealthLogField> AtaLogFields(const AtaLogs& logs) {
  std::vector<HealthLogField> fields;
  Add(fields, "percentage_used", logs.percentageUsed);
  Add(fields, "temperature", logs.temperature);
  Add(fields, "highest_temperature", logs.highestTemperature);
  Add(fields, "lowest_temperature", logs.lowestTemperature);
  Add(fields, "max_operating_temperature", logs.maxOperatingTemperature);
  Add(fields, "min_operating_temperature", logs.minOperatingTemperature);
  Add(fields, "power_on_hours", logs.powerOnHours);
  Add(fields, "logical_sectors_written", logs.sectorsWritten);
  Add(fields, "logical_sectors_read", logs.sectorsRead);
  Add(fields, "error_count", logs.errorCount);
  return fields;
}

// The LBA low of the EXECUTE OFFLINE IMMEDIATE that ran it; 81h..84h are the captive forms.
const char* SelfTestKindName(std::uint8_t type) {
  switch (type & 0x7F) {
    case 0x00:
      return "offline";
    case 0x01:
      return "short";
    case 0x02:
      return "extended";
    case 0x03:
      return "conveyance";
    case 0x04:
      return "selective";
    default:
      return "vendor";
  }
}

}  // namespace trelmoss
