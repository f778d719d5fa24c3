// The exchange with a SCSI disk: its identity from INQUIRY and the unit serial number page, then
// each health log page it lists, its grown defect count, and REQUEST SENSE for the
// informational exception when it keeps no page of them. Only commands that read.
#include "device/scsi/scsi_exchange.h"

#include <algorithm>
#include <array>
#include <vector>

#include "device/disk_system.h"
#include "device/error_text.h"
#include "device/scsi/scsi_decoders.h"
#include "device/scsi/scsi_route.h"
#include "model/drive_table.h"

namespace trelmoss {
namespace {

constexpr std::uint8_t kPagesRead[] = {kInformationalExceptionsPage, kTemperaturePage,
                                       kStartStopCyclePage,          kBackgroundScanPage,
                                       kReadErrorCounterPage,        kWriteErrorCounterPage,
                                       kVerifyErrorCounterPage,      kNonMediumErrorPage};
constexpr std::size_t kSerialPageSize = 252;
constexpr std::size_t kSenseDataSize = 18;
constexpr std::uint8_t kAscLowPowerConditionOn = 0x5E;
constexpr std::uint8_t kAscDefectListNotFound = 0x1C;

using Reply = std::array<std::uint8_t, kSectorSize>;

// A command that reads; false with `error` set only when it could not be issued. A disk that
// refuses it answers `answered` false.
bool Ask(DiskHandle& disk, std::span<const std::uint8_t> cdb, std::span<std::uint8_t> reply,
         bool& answered, int& error) {
  ScsiOutcome outcome;
  std::fill(reply.begin(), reply.end(), 0);
  if (!SendScsi(disk, cdb, reply, outcome, error)) return false;
  answered = ScsiCommandSucceeded(outcome);
  return true;
}

// REQUEST SENSE says whether the disk stands in a low-power condition without waking it.
bool InStandby(DiskHandle& disk) {
  std::array<std::uint8_t, kSenseDataSize> sense{};
  bool answered = false;
  int error = 0;
  return Ask(disk, BuildRequestSense(kSenseDataSize), sense, answered, error) && answered &&
         SenseCodesOf(sense).asc == kAscLowPowerConditionOn;
}

// The (10) form first: the kernel lets every user send it. The (12) form when it is refused or
// its 16-bit length cannot hold the list; a disk without a list (ASC 1Ch) has no count.
// False when a command could not be issued.
bool ReadGrownDefects(DiskHandle& disk, ScsiFields& fields, int& error) {
  std::array<std::uint8_t, 8> header{};
  ScsiOutcome outcome;
  if (!SendScsi(disk, BuildReadDefectData10(4), std::span(header).first(4), outcome, error)) {
    return false;
  }
  std::optional<std::uint64_t> count;
  if (ScsiCommandSucceeded(outcome)) count = GrownDefects(std::span(header).first(4), false);
  if (!count && SenseCodesOf(outcome.sense).asc != kAscDefectListNotFound &&
      SendScsi(disk, BuildReadDefectData12(8), header, outcome, error) &&
      ScsiCommandSucceeded(outcome)) {
    count = GrownDefects(header, true);
  }
  if (count) fields["scsi_grown_defect_list"] = std::to_string(*count);
  return true;
}

}  // namespace

bool ReadScsiIdentity(DiskHandle& handle, DriveRecord& record) {
  record.scsi = true;
  Reply inquiry{};
  std::array<std::uint8_t, kSerialPageSize> serial{};
  bool answered = false;
  int error = 0;
  if (!Ask(handle, BuildInquiry(false, 0, kStandardInquirySize),
           std::span(inquiry).first(kStandardInquirySize), answered, error)) {
    record.errorText = ErrorText("Error %d in reading basic SMART data", error);
    return false;
  }
  if (!Ask(handle, BuildInquiry(true, kUnitSerialNumberPage, serial.size()), serial, answered,
           error)) {
    return false;
  }
  DecodeScsiIdentity(
      record, inquiry,
      answered ? std::span<const std::uint8_t>(serial) : std::span<const std::uint8_t>());
  return true;
}

bool ReadScsiDrive(DiskHandle& handle, DriveRecord& record, ReadOptions options) {
  record.scsi = true;
  if (options.leaveAsleep && InStandby(handle)) {
    record.asleep = true;
    return true;
  }
  ReadScsiIdentity(handle, record);
  bool answered = false;
  int error = 0;
  ScsiFields fields;
  Reply pages{};
  if (!Ask(handle, BuildLogSense(0x00, kSectorSize), pages, answered, error)) {
    record.errorText += ErrorText("Error %d reading detailed SMART data", error);
    return false;
  }
  std::vector<std::uint8_t> listed;
  if (answered) listed.assign(SupportedLogPages(pages).begin(), SupportedLogPages(pages).end());
  const auto lists = [&listed](std::uint8_t page) {
    return std::find(listed.begin(), listed.end(), page) != listed.end();
  };
  // A page that a disk refuses is left out; one that could not be asked for at all is a lost
  // read, named once in the error text.
  int lost = 0;
  const auto issued = [&lost, &error](bool asked) {
    if (!asked && lost == 0) lost = error;
    return asked;
  };
  for (const std::uint8_t page : kPagesRead) {
    if (!lists(page)) continue;
    Reply reply{};
    if (issued(Ask(handle, BuildLogSense(page, kSectorSize), reply, answered, error)) && answered) {
      DecodeLogPage(page, reply, fields);
    }
  }
  if (!lists(kInformationalExceptionsPage)) {
    std::array<std::uint8_t, kSenseDataSize> sense{};
    if (issued(Ask(handle, BuildRequestSense(kSenseDataSize), sense, answered, error)) &&
        answered) {
      DecodeRequestSense(sense, fields);
    }
  }
  issued(ReadGrownDefects(handle, fields, error));
  StoreScsiFields(record, fields);
  if (lost != 0) record.errorText += ErrorText("Error %d reading detailed SMART data", lost);
  return lost == 0;
}

}  // namespace trelmoss
