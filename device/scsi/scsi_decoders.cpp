#include "device/scsi/scsi_decoders.h"

#include <algorithm>
#include <vector>

#include "device/field_text.h"
#include "device/scsi/scsi_commands.h"
#include "model/drive_table.h"

namespace trelmoss {
namespace {

// Standard INQUIRY data: vendor bytes 8-15, product 16-31, revision 32-35.
constexpr std::size_t kVendorOffset = 8;
constexpr std::size_t kVendorWidth = 8;
constexpr std::size_t kProductOffset = 16;
constexpr std::size_t kProductWidth = 16;
constexpr std::size_t kRevisionOffset = 32;
constexpr std::size_t kRevisionWidth = 4;
// A log page: page code in byte 0 (low 6 bits), its length in bytes 2-3, then parameters of a
// 2-byte code, a control byte, a length byte and the value.
constexpr std::size_t kLogHeaderSize = 4;
constexpr std::size_t kParameterHeaderSize = 4;
constexpr std::uint8_t kAbsent = 0xFF;

struct Parameter {
  std::uint16_t code;
  std::span<const std::uint8_t> value;
};

std::vector<Parameter> Parameters(std::span<const std::uint8_t> reply) {
  std::vector<Parameter> parameters;
  if (reply.size() < kLogHeaderSize) return parameters;
  const std::size_t end =
      std::min<std::size_t>(reply.size(), kLogHeaderSize + (reply[2] << 8 | reply[3]));
  for (std::size_t at = kLogHeaderSize; at + kParameterHeaderSize <= end;) {
    const std::size_t length = reply[at + 3];
    if (at + kParameterHeaderSize + length > end) break;  // cut short by the reply
    parameters.push_back({static_cast<std::uint16_t>(reply[at] << 8 | reply[at + 1]),
                          reply.subspan(at + kParameterHeaderSize, length)});
    at += kParameterHeaderSize + length;
  }
  return parameters;
}

bool AllAbsent(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == kAbsent; });
}

// A counter of any length, big-endian, in decimal; one longer than 128 bits keeps its low 128.
constexpr std::size_t kLongestCounter = 16;
std::string Decimal(std::span<const std::uint8_t> bigEndian) {
  if (bigEndian.size() > kLongestCounter) bigEndian = bigEndian.last(kLongestCounter);
  const std::vector<std::uint8_t> littleEndian(bigEndian.rbegin(), bigEndian.rend());
  return DecimalOfLittleEndian(littleEndian);
}

std::string Trimmed(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t width) {
  if (bytes.size() < offset + width) return {};
  std::string text(reinterpret_cast<const char*>(bytes.data()) + offset, width);
  text = text.substr(0, text.find('\0'));
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The error counter pages' parameters 0 to 6, under smartctl's names with the page's prefix.
constexpr const char* kErrorCounters[] = {"errors_corrected_by_eccfast",
                                          "errors_corrected_by_eccdelayed",
                                          "errors_corrected_by_rereads_rewrites",
                                          "total_errors_corrected",
                                          "correction_algorithm_invocations",
                                          "bytes_processed",
                                          "total_uncorrected_errors"};

const char* ErrorCounterPrefix(std::uint8_t page) {
  return page == kReadErrorCounterPage    ? "read_"
         : page == kWriteErrorCounterPage ? "write_"
                                          : "verify_";
}

void DecodeParameter(std::uint8_t page, const Parameter& p, ScsiFields& fields) {
  const auto put = [&](const char* name, std::span<const std::uint8_t> value) {
    if (!value.empty() && !AllAbsent(value)) fields[name] = Decimal(value);
  };
  switch (page) {
    case kInformationalExceptionsPage:  // ASC, ASCQ (FFh a value too), the latest temperature
      if (p.code == 0 && p.value.size() >= 2) {
        fields["asc"] = std::to_string(p.value[0]);
        fields["ascq"] = std::to_string(p.value[1]);
      }
      break;
    case kTemperaturePage:  // a reserved byte, then degrees Celsius
      if (p.code <= 1 && p.value.size() >= 2)
        put(p.code == 0 ? "temperature" : "drive_trip", p.value.subspan(1, 1));
      break;
    case kStartStopCyclePage: {
      constexpr const char* kNames[] = {
          "specified_cycle_count_over_device_lifetime", "accumulated_start_stop_cycles",
          "specified_load_unload_count_over_device_lifetime", "accumulated_load_unload_cycles"};
      if (p.code >= 3 && p.code <= 6) put(kNames[p.code - 3], p.value);
      break;
    }
    case kBackgroundScanPage:  // accumulated power-on minutes, then the scan's own status
      if (p.code == 0 && p.value.size() >= 4) put("power_on_minutes", p.value.first(4));
      break;
    case kNonMediumErrorPage:
      if (p.code == 0) put("non_medium_error_count", p.value);
      break;
    default:  // the read, write and verify error counters
      if (p.code <= 6) {
        put((ErrorCounterPrefix(page) + std::string(kErrorCounters[p.code])).c_str(), p.value);
      }
  }
}

}  // namespace

void DecodeScsiIdentity(DriveRecord& record, std::span<const std::uint8_t> inquiry,
                        std::span<const std::uint8_t> serialPage) {
  const std::string vendor = Trimmed(inquiry, kVendorOffset, kVendorWidth);
  const std::string product = Trimmed(inquiry, kProductOffset, kProductWidth);
  const std::string model =
      vendor.empty() || product.empty() ? vendor + product : vendor + " " + product;
  std::string serial;
  if (serialPage.size() >= 4 && serialPage[1] == kUnitSerialNumberPage) {
    serial = Trimmed(serialPage, 4, std::min<std::size_t>(serialPage[3], serialPage.size() - 4));
  }
  std::uint8_t* fields = record.identification.data();
  StoreIdentityText(fields + kModelField.offset, kModelField.width, model);
  StoreIdentityText(fields + kSerialField.offset, kSerialField.width, serial);
  StoreIdentityText(fields + kFirmwareField.offset, kFirmwareField.width,
                    Trimmed(inquiry, kRevisionOffset, kRevisionWidth));
}

std::span<const std::uint8_t> SupportedLogPages(std::span<const std::uint8_t> reply) {
  if (reply.size() < kLogHeaderSize || (reply[0] & 0x3F) != 0) return {};
  const std::size_t length =
      std::min<std::size_t>(reply.size() - kLogHeaderSize, reply[2] << 8 | reply[3]);
  return reply.subspan(kLogHeaderSize, length);
}

void DecodeLogPage(std::uint8_t page, std::span<const std::uint8_t> reply, ScsiFields& fields) {
  if (reply.size() < kLogHeaderSize || (reply[0] & 0x3F) != page) return;
  for (const Parameter& parameter : Parameters(reply)) DecodeParameter(page, parameter, fields);
}

std::optional<std::uint64_t> GrownDefects(std::span<const std::uint8_t> header, bool twelve) {
  if (header.size() < (twelve ? 8u : 4u)) return std::nullopt;
  const std::uint8_t format = header[1] & 0x07;
  const std::uint64_t length =
      twelve ? std::uint64_t{header[4]} << 24 | header[5] << 16 | header[6] << 8 | header[7]
             : std::uint64_t{header[2]} << 8 | header[3];
  if (!twelve && length == 0xFFFF) return std::nullopt;
  return length / (format == 0 ? 4 : 8);  // short block descriptors are 4 bytes, the others 8
}

void DecodeRequestSense(std::span<const std::uint8_t> sense, ScsiFields& fields) {
  const SenseCodes codes = SenseCodesOf(sense);
  if (codes.key == 0xFF) return;
  fields["asc"] = std::to_string(codes.asc);
  fields["ascq"] = std::to_string(codes.ascq);
}

void StoreScsiFields(DriveRecord& record, const ScsiFields& fields) {
  std::vector<std::string> order = {"asc",
                                    "ascq",
                                    "temperature",
                                    "drive_trip",
                                    "specified_cycle_count_over_device_lifetime",
                                    "accumulated_start_stop_cycles",
                                    "specified_load_unload_count_over_device_lifetime",
                                    "accumulated_load_unload_cycles",
                                    "power_on_minutes"};
  for (const char* prefix : {"read_", "write_", "verify_"}) {
    for (const char* counter : kErrorCounters) order.push_back(prefix + std::string(counter));
  }
  order.insert(order.end(), {"non_medium_error_count", "scsi_grown_defect_list"});
  record.scsiHealth.clear();
  for (const std::string& name : order) {
    if (const auto field = fields.find(name); field != fields.end()) {
      record.scsiHealth.push_back({name, field->second});
    }
  }
}

}  // namespace trelmoss
