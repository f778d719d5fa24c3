// The S.M.A.R.T. exchange of one open drive: capability query, enable, IDENTIFY DEVICE, then the
// attribute and threshold sectors. Every failure becomes part of the drive's error text.
#include <array>
#include <cstdio>
#include <string>

#include "device/disk_system.h"
#include "device/sector_decoders.h"
#include "device/smart_records.h"
#include "model/drive_table.h"

namespace trelmoss {
namespace {

std::string Formatted(const char* format, int error) {
  char text[96];
  std::snprintf(text, sizeof text, format, error);
  return text;
}

// The data part of a reply: the sector after the SENDCMDOUTPARAMS header.
template <std::size_t N>
Sector ReplySector(const std::array<std::uint8_t, N>& reply) {
  static_assert(N >= kReplyDataOffset + kSectorSize);
  return Sector(reply.data() + kReplyDataOffset, kSectorSize);
}

// Sends one exchange. The reply buffer is cleared first, so a reply shorter than asked leaves
// zeros (empty entries) behind it, never a previous sector.
template <std::size_t N>
bool Exchange(DiskHandle& handle, const SmartExchange& exchange, std::uint32_t deviceNumber,
              std::array<std::uint8_t, N>& reply, int& error) {
  static_assert(N >= 17);
  const SmartRequest request = BuildSmartRequest(exchange, deviceNumber);
  reply.fill(0);
  return handle.Control(exchange.controlCode, request,
                        std::span<std::uint8_t>(reply.data(), exchange.replySize), error);
}

}  // namespace

bool DriveTable::ReadDriveSmart(DiskHandle* handle, std::uint8_t slot) {
  if (handle == nullptr) return false;
  DriveRecord& record = Drive(slot);
  int error = 0;
  if (!handle->Control(kSmartGetVersion, {}, record.versionReply, error)) {
    record.errorText = Formatted("Get device VERSION error %d", error);
    return false;
  }
  // A driver that does not pass S.M.A.R.T. commands is no error: the drive is simply listed.
  if ((VersionCapabilities(record.versionReply) & kCapSmartCommands) == 0) return true;
  if (!EnableSmart(*handle, slot)) return true;
  ReadIdentify(*handle, slot);  // attributes are read whether or not the identity was
  return ReadAttributes(*handle, slot);
}

bool DriveTable::EnableSmart(DiskHandle& handle, std::uint8_t slot) {
  DriveRecord& record = Drive(slot);
  std::array<std::uint8_t, 17> reply{};
  int error = 0;
  if (Exchange(handle, kEnableSmart, record.deviceNumber, reply, error)) return true;
  record.errorText = Formatted("Error %d in reading SMART Enabled flag", error);
  return false;
}

bool DriveTable::ReadIdentify(DiskHandle& handle, std::uint8_t slot) {
  DriveRecord& record = Drive(slot);
  std::array<std::uint8_t, 528> reply{};
  int error = 0;
  if (!Exchange(handle, kIdentifyDevice, record.deviceNumber, reply, error)) {
    record.errorText = Formatted("Error %d in reading basic SMART data", error);
    return false;
  }
  DecodeIdentity(record, ReplySector(reply));
  return true;
}

bool DriveTable::ReadAttributes(DiskHandle& handle, std::uint8_t slot) {
  DriveRecord& record = Drive(slot);
  std::array<std::uint8_t, 531> reply{};
  int error = 0;
  if (Exchange(handle, kReadSmartData, record.deviceNumber, reply, error)) {
    DecodeAttributes(*this, slot, ReplySector(reply));
  } else {
    record.errorText += Formatted("Error %d reading detailed SMART data", error);
  }
  if (!Exchange(handle, kReadSmartThresholds, record.deviceNumber, reply, error)) {
    record.errorText += Formatted("Error %d reading thresholds SMART data", error);
    return false;
  }
  DecodeThresholds(*this, slot, ReplySector(reply));
  return true;
}

}  // namespace trelmoss
