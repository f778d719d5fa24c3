#include "device/linux/sg_disk.h"

#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "device/sector_decoders.h"
#include "device/smart_records.h"

namespace trelmoss {
namespace {

// Long enough for a sleeping drive to spin up and answer.
constexpr unsigned kCommandTimeoutMs = 30000;

// Block devices that take no SG_IO at all (NVMe, virtio-blk, plain files) answer with these:
// such a disk simply has no S.M.A.R.T. pass-through.
bool MeansNoScsiPassThrough(int error) {
  constexpr int kNoIoctlCommand = 515;  // ENOIOCTLCMD, as some drivers leak it
  return error == ENOTTY || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
         error == kNoIoctlCommand;
}

void FillVersionReply(std::span<std::uint8_t> reply, bool smartCapable) {
  std::fill(reply.begin(), reply.end(), 0);
  reply[0] = 1;  // bVersion
  reply[1] = 1;  // bRevision
  reply[3] = 1;  // bIDEDeviceMap: one device behind this handle
  StoreLittleEndian32(reply.data() + kCapabilitiesOffset,
                      smartCapable ? (kCapAtaIdentify | kCapSmartCommands) : 0);
}

}  // namespace

SgDisk::~SgDisk() { ::close(fd_); }

bool SgDisk::GetDeviceNumber(std::uint32_t& number, int& /*error*/) {
  number = deviceNumber_;
  return true;
}

bool SgDisk::Control(std::uint32_t code, std::span<const std::uint8_t> request,
                     std::span<std::uint8_t> reply, int& error) {
  if (code == kSmartGetVersion) return QueryVersion(reply, error);
  if (code == kSmartSendDriveCommand || code == kSmartRcvDriveData) {
    return SendAtaCommand(code, request, reply, error);
  }
  error = EINVAL;
  return false;
}

bool SgDisk::QueryVersion(std::span<std::uint8_t> reply, int& error) {
  if (reply.size() < kVersionReplySize) {
    error = EINVAL;
    return false;
  }
  bool isAta = false;
  if (!IsAtaBehindTranslation(isAta, error)) return false;
  FillVersionReply(reply, isAta);
  return true;
}

// ATA drives behind the kernel's translation report the vendor "ATA"; other translating
// bridges may instead offer the ATA Information VPD page.
bool SgDisk::IsAtaBehindTranslation(bool& isAta, int& error) {
  std::array<std::uint8_t, kStandardInquirySize> inquiry{};
  ScsiOutcome outcome;
  if (!Send(BuildInquiry(false, 0, inquiry.size()), inquiry, outcome, error)) {
    if (!MeansNoScsiPassThrough(error)) return false;
    isAta = false;
    return true;
  }
  isAta = ScsiCommandSucceeded(outcome) && InquiryNamesAtaVendor(inquiry);
  if (isAta || !ScsiCommandSucceeded(outcome)) return true;
  std::array<std::uint8_t, kAtaInformationPageSize> page{};
  if (!Send(BuildInquiry(true, kAtaInformationPage, page.size()), page, outcome, error)) {
    return false;
  }
  isAta = ScsiCommandSucceeded(outcome) && IsAtaInformationPage(page);
  return true;
}

bool SgDisk::SendAtaCommand(std::uint32_t code, std::span<const std::uint8_t> request,
                            std::span<std::uint8_t> reply, int& error) {
  const AtaRegisters registers = RequestRegisters(request);
  const bool readsSector = code == kSmartRcvDriveData;
  if (!IsPermittedAtaCommand(registers) ||
      (readsSector && reply.size() < kReplyDataOffset + kSectorSize)) {
    error = EINVAL;
    return false;
  }
  std::span<std::uint8_t> data;
  if (readsSector) data = reply.subspan(kReplyDataOffset, kSectorSize);
  ScsiOutcome outcome;
  if (!Send(BuildAtaPassThrough(registers, readsSector), data, outcome, error)) return false;
  if (!AtaCommandSucceeded(outcome)) {
    error = EIO;
    return false;
  }
  if (reply.size() >= kReplyDataOffset) {
    StoreLittleEndian32(reply.data(), readsSector ? static_cast<std::uint32_t>(kSectorSize) : 0);
  }
  return true;
}

bool SgDisk::Send(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn,
                  ScsiOutcome& outcome, int& error) {
  sg_io_hdr_t header{};
  header.interface_id = 'S';
  header.cmd_len = static_cast<unsigned char>(cdb.size());
  header.cmdp = const_cast<unsigned char*>(cdb.data());
  header.dxfer_direction = dataIn.empty() ? SG_DXFER_NONE : SG_DXFER_FROM_DEV;
  header.dxfer_len = static_cast<unsigned>(dataIn.size());
  header.dxferp = dataIn.empty() ? nullptr : dataIn.data();
  header.mx_sb_len = sizeof sense_;
  header.sbp = sense_;
  header.timeout = kCommandTimeoutMs;
  std::fill(std::begin(sense_), std::end(sense_), 0);
  if (::ioctl(fd_, SG_IO, &header) != 0) {
    error = errno;
    return false;
  }
  outcome.status = header.status;
  outcome.hostStatus = header.host_status;
  outcome.driverStatus = header.driver_status;
  outcome.sense =
      std::span<const std::uint8_t>(sense_, std::min<std::size_t>(header.sb_len_wr, sizeof sense_));
  return true;
}

}  // namespace trelmoss
