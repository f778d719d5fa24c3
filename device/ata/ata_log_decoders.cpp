#include "device/ata/ata_log_decoders.h"

#include <algorithm>
#include <numeric>

#include "device/little_endian.h"

namespace trelmoss {
namespace {

// IDENTIFY DEVICE words 84 (supported) and 87 (enabled) each hold the three bits; a word counts
// only when its bits 15:14 are 01b.
constexpr std::size_t kFeatureWords[] = {84, 87};
constexpr std::uint16_t kWordValidMask = 0xC000;
constexpr std::uint16_t kWordValid = 0x4000;
constexpr std::uint16_t kErrorLoggingBit = 1 << 0;
constexpr std::uint16_t kSelfTestBit = 1 << 1;
constexpr std::uint16_t kGeneralPurposeLoggingBit = 1 << 5;
// The data sector's capabilities: offline data collection (byte 367) bit 4, self-tests; error
// logging (byte 370) bit 0.
constexpr std::size_t kOfflineCapabilityByte = 367;
constexpr std::size_t kErrorLogCapabilityByte = 370;
constexpr std::uint8_t kSelfTestCapability = 1 << 4;
constexpr std::uint8_t kErrorLogCapability = 1 << 0;

bool IdentifySays(const std::uint8_t* words, std::uint16_t bit) {
  return std::any_of(std::begin(kFeatureWords), std::end(kFeatureWords), [&](std::size_t word) {
    const std::uint16_t value = LoadLittleEndian<std::uint16_t>(words + 2 * word);
    return (value & kWordValidMask) == kWordValid && (value & bit) != 0;
  });
}

// Device Statistics: a page's header qword holds its revision (bits 15:0) and its number (bits
// 23:16); each statistic after it is a qword whose top byte holds its flags.
constexpr std::size_t kPageNumberByte = 2;
constexpr std::size_t kListCountByte = 8;  // page 00h: how many pages, then one byte each
constexpr std::size_t kListFirstByte = 9;
constexpr std::uint64_t kSupportedFlag = 1ULL << 63;
constexpr std::uint64_t kValidFlag = 1ULL << 62;
constexpr std::size_t kDirectoryStatisticsWord = kDeviceStatisticsLog;  // one word a log address

// A statistic's value when the drive flags it supported and valid.
std::optional<std::uint64_t> Statistic(Sector data, std::size_t offset, std::uint64_t mask) {
  const std::uint64_t qword = LoadLittleEndian<std::uint64_t>(data.data() + offset);
  if ((qword & kSupportedFlag) == 0 || (qword & kValidFlag) == 0) return std::nullopt;
  return qword & mask;
}

constexpr std::uint64_t kByte = 0xFF;
constexpr std::uint64_t kDword = 0xFFFFFFFF;
constexpr std::uint64_t kSixBytes = 0xFFFFFFFFFFFF;

// A temperature statistic: a signed byte, degrees Celsius.
std::optional<std::int8_t> Temperature(Sector data, std::size_t offset) {
  const auto value = Statistic(data, offset, kByte);
  if (!value) return std::nullopt;
  return static_cast<std::int8_t>(static_cast<std::uint8_t>(*value));
}

// General statistics (page 01h): power-on hours at 10h, logical sectors written at 18h and read
// at 28h.
void DecodeGeneral(Sector data, AtaLogs& logs) {
  if (auto hours = Statistic(data, 0x10, kDword))
    logs.powerOnHours = static_cast<std::uint32_t>(*hours);
  logs.sectorsWritten = Statistic(data, 0x18, kSixBytes);
  logs.sectorsRead = Statistic(data, 0x28, kSixBytes);
}

// Temperature statistics (page 05h): current at 08h, highest at 20h, lowest at 28h, specified
// maximum operating temperature at 58h, specified minimum at 68h.
void DecodeTemperature(Sector data, AtaLogs& logs) {
  logs.temperature = Temperature(data, 0x08);
  logs.highestTemperature = Temperature(data, 0x20);
  logs.lowestTemperature = Temperature(data, 0x28);
  logs.maxOperatingTemperature = Temperature(data, 0x58);
  logs.minOperatingTemperature = Temperature(data, 0x68);
}

// Solid state statistics (page 07h): the Percentage Used Endurance Indicator at 08h.
void DecodeSolidState(Sector data, AtaLogs& logs) {
  if (auto used = Statistic(data, 0x08, kByte))
    logs.percentageUsed = static_cast<std::uint8_t>(*used);
}

// The self-test log: a revision word, 21 entries of 24 bytes from byte 2, the newest entry's
// number (1..21, 0 when none ran) at byte 508.
constexpr std::size_t kSelfTestEntries = 21;
constexpr std::size_t kSelfTestFirst = 2;
constexpr std::size_t kSelfTestSize = 24;
constexpr std::size_t kSelfTestIndexByte = 508;
// Entry fields: the LBA low of the command that ran it, its status, the hours word, then (after
// the checkpoint byte) the LBA of its first failure.
constexpr std::size_t kEntryType = 0;
constexpr std::size_t kEntryStatus = 1;
constexpr std::size_t kEntryHours = 2;
constexpr std::size_t kEntryLba = 5;

// The summary error log: the device's error count at bytes 452-453.
constexpr std::size_t kErrorCountOffset = 452;

}  // namespace

LogSupport LogSupportOf(const std::uint8_t* identifyWords, const std::uint8_t* dataSector) {
  const auto dataSays = [dataSector](std::size_t byte, std::uint8_t bit) {
    return dataSector != nullptr && (dataSector[byte] & bit) != 0;
  };
  LogSupport support;
  support.generalPurposeLogging = IdentifySays(identifyWords, kGeneralPurposeLoggingBit);
  support.selfTestLog = IdentifySays(identifyWords, kSelfTestBit) ||
                        dataSays(kOfflineCapabilityByte, kSelfTestCapability);
  support.errorLog = IdentifySays(identifyWords, kErrorLoggingBit) ||
                     dataSays(kErrorLogCapabilityByte, kErrorLogCapability);
  return support;
}

std::uint16_t StatisticsPageCount(Sector directory) {
  return LoadLittleEndian<std::uint16_t>(directory.data() + 2 * kDirectoryStatisticsWord);
}

std::vector<std::uint8_t> ListedStatisticsPages(Sector listing) {
  std::vector<std::uint8_t> pages;
  if (listing[kPageNumberByte] != 0) return pages;
  const std::size_t count =
      std::min<std::size_t>(listing[kListCountByte], kSectorSize - kListFirstByte);
  for (std::size_t at = kListFirstByte; at < kListFirstByte + count; ++at) {
    if (std::find(pages.begin(), pages.end(), listing[at]) == pages.end())
      pages.push_back(listing[at]);
  }
  return pages;
}

bool DecodeStatisticsPage(std::uint8_t page, Sector data, AtaLogs& logs) {
  if (data[kPageNumberByte] != page) return false;
  if (page == kGeneralStatistics) DecodeGeneral(data, logs);
  if (page == kTemperatureStatistics) DecodeTemperature(data, logs);
  if (page == kSolidStateStatistics) DecodeSolidState(data, logs);
  return true;
}

bool ChecksumHolds(Sector data) { return std::accumulate(data.begin(), data.end(), 0u) % 256 == 0; }

std::optional<std::vector<SelfTestEntry>> DecodeSelfTestLog(Sector data) {
  const std::size_t newest = data[kSelfTestIndexByte];
  if (!ChecksumHolds(data) || newest > kSelfTestEntries) return std::nullopt;
  std::vector<SelfTestEntry> entries;
  if (newest == 0) return entries;
  // From the newest back, wrapping past the first entry to the last.
  for (std::size_t step = 0; step < kSelfTestEntries; ++step) {
    const std::size_t index = (newest - 1 + kSelfTestEntries - step) % kSelfTestEntries;
    const std::uint8_t* raw = data.data() + kSelfTestFirst + index * kSelfTestSize;
    if (std::all_of(raw, raw + kSelfTestSize, [](std::uint8_t byte) { return byte == 0; }))
      continue;
    entries.push_back(
        {raw[kEntryType], raw[kEntryStatus], LoadLittleEndian<std::uint16_t>(raw + kEntryHours),
         static_cast<std::uint32_t>(LoadLittleEndian<std::uint16_t>(raw + kEntryLba) |
                                    LoadLittleEndian<std::uint16_t>(raw + kEntryLba + 2) << 16)});
  }
  return entries;
}

std::optional<std::uint16_t> DecodeErrorCount(Sector data) {
  if (!ChecksumHolds(data)) return std::nullopt;
  return LoadLittleEndian<std::uint16_t>(data.data() + kErrorCountOffset);
}

}  // namespace trelmoss
