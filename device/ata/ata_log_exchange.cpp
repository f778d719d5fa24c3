#include "device/ata/ata_log_exchange.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "device/error_text.h"

namespace trelmoss {
namespace {

using LogSector = std::array<std::uint8_t, kSectorSize>;

// One log sector, cleared first so that a short reply leaves zeros. A read that timed out is the
// drive's failure, and its error text says so; a refusal is only a log not kept.
class LogReader {
 public:
  LogReader(DiskHandle& handle, DriveRecord& record) : handle_(handle), record_(record) {}

  bool Read(const AtaCommand& command, LogSector& sector) {
    sector.fill(0);
    int error = 0;
    if (handle_.SendAtaCommand(command, sector, error)) return true;
    if (handle_.MeansTimeout(error) && !timedOut_) {
      record_.errorText += ErrorText("Error %d reading the drive's logs", error);
      timedOut_ = true;
    }
    return false;
  }

 private:
  DiskHandle& handle_;
  DriveRecord& record_;
  bool timedOut_ = false;
};

constexpr std::uint8_t kPagesUsed[] = {kGeneralStatistics, kTemperatureStatistics,
                                       kSolidStateStatistics};

bool IsPageUsed(std::uint8_t page) {
  return std::find(std::begin(kPagesUsed), std::end(kPagesUsed), page) != std::end(kPagesUsed);
}

// The directory says how many pages the log has; page 00h which of them the drive fills.
void ReadStatistics(LogReader& reader, AtaLogs& logs) {
  LogSector sector{};
  if (!reader.Read(ReadLogExt(kLogDirectory, 0), sector)) return;
  const std::uint16_t pageCount = StatisticsPageCount(sector);
  if (pageCount == 0 || !reader.Read(ReadLogExt(kDeviceStatisticsLog, 0), sector)) return;
  for (const std::uint8_t page : ListedStatisticsPages(sector)) {
    if (!IsPageUsed(page) || page >= pageCount) continue;
    if (!reader.Read(ReadLogExt(kDeviceStatisticsLog, page), sector)) continue;
    DecodeStatisticsPage(page, sector, logs);
  }
}

}  // namespace

void ReadAtaLogs(DiskHandle& handle, DriveRecord& record, LogSupport support) {
  LogReader reader(handle, record);
  AtaLogs& logs = record.ataLogs;
  LogSector sector{};
  if (support.generalPurposeLogging) ReadStatistics(reader, logs);
  if (support.selfTestLog && reader.Read(SmartReadLog(kSelfTestLog), sector)) {
    logs.selfTests = DecodeSelfTestLog(sector);
  }
  if (support.errorLog && reader.Read(SmartReadLog(kSummaryErrorLog), sector)) {
    logs.errorCount = DecodeErrorCount(sector);
  }
}

}  // namespace trelmoss
