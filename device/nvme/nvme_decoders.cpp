#include "device/nvme/nvme_decoders.h"

#include <algorithm>
#include <vector>

#include "device/field_text.h"
#include "model/drive_table.h"

namespace trelmoss {
namespace {

// Identify Controller data: SN, MN and FR.
constexpr std::size_t kSerialOffset = 4;
constexpr std::size_t kSerialWidth = 20;
constexpr std::size_t kModelOffset = 24;
constexpr std::size_t kModelWidth = 40;
constexpr std::size_t kFirmwareOffset = 64;
constexpr std::size_t kFirmwareWidth = 8;

// The Composite Temperature (bytes 1-2) is in kelvins; the report gives degrees Celsius.
constexpr std::size_t kTemperatureOffset = 1;
constexpr int kKelvinAtZeroCelsius = 273;

// A field of the SMART / Health Information log page: a little-endian unsigned number.
struct LogField {
  const char* name;
  std::size_t offset;
  std::size_t width;
};

// In the report's order; the temperature goes second, converted.
constexpr LogField kCriticalWarning{"critical_warning", 0, 1};
// NVMe 1.4: the critical warning bits (spare, reliability, read-only) of the endurance groups,
// or-ed together. Judged, but not in the report's element, whose fields are smartctl's.
constexpr std::size_t kEnduranceWarningOffset = 6;
constexpr LogField kLogFields[] = {
    {"available_spare", 3, 1},        {"available_spare_threshold", 4, 1},
    {"percentage_used", 5, 1},        {"data_units_read", 32, 16},
    {"data_units_written", 48, 16},   {"host_reads", 64, 16},
    {"host_writes", 80, 16},          {"controller_busy_time", 96, 16},
    {"power_cycles", 112, 16},        {"power_on_hours", 128, 16},
    {"unsafe_shutdowns", 144, 16},    {"media_errors", 160, 16},
    {"num_err_log_entries", 176, 16}, {"warning_temp_time", 192, 4},  // minutes, 32-bit
    {"critical_comp_time", 196, 4},                                   // minutes, 32-bit
};

std::string Text(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t width) {
  return {reinterpret_cast<const char*>(bytes.data()) + offset, width};
}

std::string FieldValue(std::span<const std::uint8_t> log, const LogField& field) {
  return DecimalOfLittleEndian(log.subspan(field.offset, field.width));
}

}  // namespace

NvmeIdentity IdentityOfController(std::span<const std::uint8_t, kNvmeIdentifyBytes> identify) {
  return {Text(identify, kSerialOffset, kSerialWidth), Text(identify, kModelOffset, kModelWidth),
          Text(identify, kFirmwareOffset, kFirmwareWidth)};
}

void DecodeNvmeIdentity(DriveRecord& record, const NvmeIdentity& identity) {
  std::uint8_t* fields = record.identification.data();
  StoreIdentityText(fields + kModelField.offset, kModelField.width, identity.model);
  StoreIdentityText(fields + kSerialField.offset, kSerialField.width, identity.serial);
  StoreIdentityText(fields + kFirmwareField.offset, kFirmwareField.width, identity.firmware);
}

void DecodeNvmeHealth(DriveRecord& record, std::span<const std::uint8_t, kNvmeHealthLogBytes> log) {
  const int kelvins = log[kTemperatureOffset] | (log[kTemperatureOffset + 1] << 8);
  record.nvmeHealth.clear();
  record.nvmeEnduranceWarning = log[kEnduranceWarningOffset];
  record.nvmeHealth.push_back({kCriticalWarning.name, FieldValue(log, kCriticalWarning)});
  record.nvmeHealth.push_back({"temperature", std::to_string(kelvins - kKelvinAtZeroCelsius)});
  for (const LogField& field : kLogFields) {
    record.nvmeHealth.push_back({field.name, FieldValue(log, field)});
  }
}

}  // namespace trelmoss
