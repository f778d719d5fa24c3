// The exchange with an ATA drive: capability query, enable, IDENTIFY DEVICE, then the attribute
// and threshold sectors (and, when asked, CHECK POWER MODE before and RETURN STATUS after). Every
// failure becomes part of the drive's error text.
#include "device/ata/ata_exchange.h"

#include <array>
#include <string>

#include "device/ata/ata_decoders.h"
#include "device/ata/ata_log_exchange.h"
#include "device/disk_system.h"
#include "device/error_text.h"
#include "model/drive_table.h"

namespace trelmoss {
namespace {

// Sends one command. The sector is cleared first, so a reply shorter than asked leaves zeros
// (empty entries) behind it, never a previous sector.
bool Send(DiskHandle& handle, const AtaCommand& command,
          std::array<std::uint8_t, kSectorSize>& sector, int& error) {
  sector.fill(0);
  return handle.SendAtaCommand(command, sector, error);
}

// A status that cannot be had is no error of the drive's data: it leaves the verdict to the
// attributes.
void ReadSmartStatus(DiskHandle& handle, DriveRecord& record) {
  AtaRegisters returned;
  int error = 0;
  record.smartStatus = handle.AskAtaRegisters(kReadSmartStatus, returned, error)
                           ? SmartStatusOf(returned)
                           : SmartStatus::kUnknown;
}

bool EnableSmart(DiskHandle& handle, DriveRecord& record) {
  std::array<std::uint8_t, kSectorSize> unused{};
  int error = 0;
  if (Send(handle, kEnableSmart, unused, error)) return true;
  record.errorText = ErrorText("Error %d in reading SMART Enabled flag", error);
  return false;
}

bool ReadIdentify(DiskHandle& handle, DriveRecord& record) {
  std::array<std::uint8_t, kSectorSize> sector{};
  int error = 0;
  if (!Send(handle, kIdentifyDevice, sector, error)) {
    record.errorText = ErrorText("Error %d in reading basic SMART data", error);
    return false;
  }
  DecodeIdentity(record, sector);
  return true;
}

// `data` keeps the data sector, whose capability bytes say which logs the drive keeps; false
// when it could not be read.
bool ReadAttributes(DiskHandle& handle, DriveRecord& record,
                    std::array<std::uint8_t, kSectorSize>& data, bool& dataRead) {
  std::array<std::uint8_t, kSectorSize> sector{};
  int error = 0;
  dataRead = Send(handle, kReadSmartData, data, error);
  if (dataRead) {
    DecodeAttributes(record, data);
  } else {
    record.errorText += ErrorText("Error %d reading detailed SMART data", error);
  }
  if (!Send(handle, kReadSmartThresholds, sector, error)) {
    record.errorText += ErrorText("Error %d reading thresholds SMART data", error);
    return false;
  }
  DecodeThresholds(record, sector);
  record.smartSectorsRead = dataRead;
  return true;
}

}  // namespace

bool ReadAtaDrive(DiskHandle& handle, DriveRecord& record, ReadOptions options) {
  int error = 0;
  bool supported = false;
  if (!handle.QuerySmartSupport(supported, error)) {
    record.errorText = ErrorText("Get device VERSION error %d", error);
    return false;
  }
  // A driver that does not pass S.M.A.R.T. commands is no error: the drive is simply listed.
  if (!supported) return true;
  // The capability comes from the driver, not the drive, so CHECK POWER MODE is still the first
  // command the drive gets, and only an ATA drive gets it. A mode that cannot be had is no reason
  // to skip the drive: it is read as without the option.
  AtaRegisters returned;
  if (options.leaveAsleep && handle.AskAtaRegisters(kCheckPowerMode, returned, error) &&
      IsStandbyMode(returned.sectorCount)) {
    record.asleep = true;
    return true;
  }
  if (!EnableSmart(handle, record)) return true;
  ReadIdentify(handle, record);  // attributes are read whether or not the identity was
  std::array<std::uint8_t, kSectorSize> data{};
  bool dataRead = false;
  const bool read = ReadAttributes(handle, record, data, dataRead);
  if (options.readStatus) ReadSmartStatus(handle, record);
  if (options.readLogs) {
    ReadAtaLogs(handle, record,
                LogSupportOf(record.identification.data(), dataRead ? data.data() : nullptr));
  }
  return read;
}

}  // namespace trelmoss
