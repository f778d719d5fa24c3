#include "device/linux/sg_disk.h"

#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace trelmoss {
namespace {

// How the SCSI layer says it gave up on a command: the host's DID_TIME_OUT, or the driver's
// DRIVER_TIMEOUT in the low half of its status.
constexpr unsigned kHostTimedOut = 0x03;
constexpr unsigned kDriverTimedOut = 0x06;
constexpr unsigned kDriverStatusMask = 0x0F;

// Block devices that take no SG_IO at all (NVMe, virtio-blk, plain files) answer with these:
// such a disk simply has no S.M.A.R.T. pass-through.
bool MeansNoScsiPassThrough(int error) {
  constexpr int kNoIoctlCommand = 515;  // ENOIOCTLCMD, as some drivers leak it
  return error == ENOTTY || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
         error == kNoIoctlCommand;
}

}  // namespace

bool EndedByTimeout(const sg_io_hdr_t& header) {
  if (header.host_status == kHostTimedOut ||
      (header.driver_status & kDriverStatusMask) == kDriverTimedOut) {
    return true;
  }
  // Other drivers end a timed-out command in shapes of their own (libata: CHECK CONDITION,
  // ABORTED COMMAND, host byte clear, which a drive refusing a command answers at once; a USB
  // bridge: DID_ABORT): that the command failed only after its whole time tells them apart.
  const bool failed = header.status != 0 || header.host_status != 0 || header.driver_status != 0;
  return failed && header.duration >= header.timeout;
}

SgDisk::SgDisk(int fd, std::uint32_t deviceNumber, std::string name, unsigned commandSeconds,
               BridgeTunnel tunnel, RaidPlace raid)
    : ScsiCarriedDisk(tunnel, {EIO, EINVAL}, MeansNoScsiPassThrough),
      fd_(fd),
      name_(std::move(name)),
      deviceNumber_(deviceNumber),
      commandMilliseconds_(commandSeconds * 1000),
      raid_(raid) {}

SgDisk::~SgDisk() { ::close(fd_); }

bool SgDisk::MeansTimeout(int error) const { return error == ETIMEDOUT || error == EINTR; }

bool SgDisk::GetDeviceNumber(std::uint32_t& number, int& /*error*/) {
  number = deviceNumber_;
  return true;
}

bool SgDisk::SendScsiCommand(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn,
                             ScsiOutcome& outcome, int& error) {
  return Issue(cdb, dataIn.empty() ? SG_DXFER_NONE : SG_DXFER_FROM_DEV, dataIn, outcome, error);
}

bool SgDisk::SendScsiDataOut(std::span<const std::uint8_t> cdb,
                             std::span<const std::uint8_t> dataOut, ScsiOutcome& outcome,
                             int& error) {
  // The kernel only reads a data-out buffer.
  const std::span<std::uint8_t> data(const_cast<std::uint8_t*>(dataOut.data()), dataOut.size());
  return Issue(cdb, SG_DXFER_TO_DEV, data, outcome, error);
}

bool SgDisk::Issue(std::span<const std::uint8_t> cdb, int direction, std::span<std::uint8_t> data,
                   ScsiOutcome& outcome, int& error) {
  sg_io_hdr_t header{};
  header.interface_id = 'S';
  header.cmd_len = static_cast<unsigned char>(cdb.size());
  header.cmdp = const_cast<unsigned char*>(cdb.data());
  header.dxfer_direction = direction;
  header.dxfer_len = static_cast<unsigned>(data.size());
  header.dxferp = data.empty() ? nullptr : data.data();
  header.mx_sb_len = sizeof sense_;
  header.sbp = sense_;
  header.timeout = commandMilliseconds_;
  std::fill(std::begin(sense_), std::end(sense_), 0);
  if (::ioctl(fd_, SG_IO, &header) != 0) {
    error = errno;
    return false;
  }
  if (EndedByTimeout(header)) {
    error = ETIMEDOUT;
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
