// Turns the log sectors an ATA drive returns (the general-purpose log directory, the Device
// Statistics pages, the self-test log and the summary error log) into the drive's `AtaLogs`.
// A sector that does not hold what it claims is left out, never half-trusted. No platform calls.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "device/ata/ata_decoders.h"
#include "model/ata_logs.h"

namespace trelmoss {

// The Device Statistics pages read: general, temperature, solid state.
inline constexpr std::uint8_t kGeneralStatistics = 0x01;
inline constexpr std::uint8_t kTemperatureStatistics = 0x05;
inline constexpr std::uint8_t kSolidStateStatistics = 0x07;

// From the stored IDENTIFY DEVICE words and the S.M.A.R.T. data sector's capability bytes (none
// when it was not read): which logs the drive says it keeps, and whether it reads logs a page at
// a time.
struct LogSupport {
  bool generalPurposeLogging = false;
  bool selfTestLog = false;
  bool errorLog = false;
};
LogSupport LogSupportOf(const std::uint8_t* identifyWords, const std::uint8_t* dataSector);

// How many pages the general-purpose log directory gives the Device Statistics log.
std::uint16_t StatisticsPageCount(Sector directory);
// The pages page 00h lists, each once, in its order.
std::vector<std::uint8_t> ListedStatisticsPages(Sector listing);
// One page into `logs`; false (and nothing taken) when its header names another page.
bool DecodeStatisticsPage(std::uint8_t page, Sector data, AtaLogs& logs);

// Whether the sector's bytes sum to zero, as a S.M.A.R.T. log's checksum byte makes them.
bool ChecksumHolds(Sector data);
// The self-test log's entries newest first; nothing when its checksum or index is wrong.
std::optional<std::vector<SelfTestEntry>> DecodeSelfTestLog(Sector data);
// The summary error log's count of errors; nothing when its checksum is wrong.
std::optional<std::uint16_t> DecodeErrorCount(Sector data);

}  // namespace trelmoss
