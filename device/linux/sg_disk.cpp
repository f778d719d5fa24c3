#include "device/linux/sg_disk.h"

#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

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

}  // namespace

SgDisk::~SgDisk() { ::close(fd_); }

bool SgDisk::GetDeviceNumber(std::uint32_t& number, int& /*error*/) {
  number = deviceNumber_;
  return true;
}

bool SgDisk::QuerySmartSupport(bool& supported, int& error) {
  bool isAta = false;
  if (!IsAtaBehindTranslation(isAta, error)) return false;
  supported = isAta;
  return true;
}

bool SgDisk::ReadNvmeIdentity(NvmeIdentity& /*identity*/, int& error) {
  error = EINVAL;
  return false;
}

bool SgDisk::ReadNvmeHealthLog(NvmeHealthLog /*log*/, int& error) {
  error = EINVAL;
  return false;
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

bool SgDisk::SendAtaCommand(const AtaCommand& command, SectorBuffer sector, int& error) {
  if (!IsPermittedAtaCommand(command.registers)) {
    error = EINVAL;
    return false;
  }
  std::span<std::uint8_t> data;
  if (command.readsSector) data = sector;
  ScsiOutcome outcome;
  if (!Send(BuildAtaPassThrough(command.registers, command.readsSector), data, outcome, error)) {
    return false;
  }
  if (!AtaCommandSucceeded(outcome)) {
    error = EIO;
    return false;
  }
  return true;
}

bool SgDisk::AskAtaRegisters(const AtaCommand& command, AtaRegisters& returned, int& error) {
  if (!IsPermittedAtaCommand(command.registers) || command.readsSector) {
    error = EINVAL;
    return false;
  }
  ScsiOutcome outcome;
  if (!Send(BuildAtaPassThrough(command.registers, false, true), {}, outcome, error)) {
    return false;
  }
  if (!AtaCommandSucceeded(outcome) || !ReturnedRegisters(outcome, returned)) {
    error = EIO;
    return false;
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
