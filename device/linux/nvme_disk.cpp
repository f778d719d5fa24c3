#include "device/linux/nvme_disk.h"

#include <fcntl.h>
#include <linux/nvme_ioctl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace trelmoss {
namespace {

// The sysfs texts are the Identify fields printed whole and a line end; 64 bytes hold the
// widest.
constexpr std::size_t kTextRoom = 64;

}  // namespace

NvmeDisk::~NvmeDisk() { ::close(fd_); }

bool NvmeDisk::GetDeviceNumber(std::uint32_t& number, int& /*error*/) {
  number = deviceNumber_;
  return true;
}

bool NvmeDisk::QuerySmartSupport(bool& /*supported*/, int& error) {
  error = EINVAL;
  return false;
}

bool NvmeDisk::SendAtaCommand(const AtaCommand& /*command*/, SectorBuffer /*sector*/, int& error) {
  error = EINVAL;
  return false;
}

bool NvmeDisk::AskAtaRegisters(const AtaCommand& /*command*/, AtaRegisters& /*returned*/,
                               int& error) {
  error = EINVAL;
  return false;
}

bool NvmeDisk::SendScsiCommand(std::span<const std::uint8_t> /*cdb*/,
                               std::span<std::uint8_t> /*dataIn*/, ScsiOutcome& /*outcome*/,
                               int& error) {
  error = EINVAL;
  return false;
}

bool NvmeDisk::MeansTimeout(int error) const { return error == EINTR || error == ETIMEDOUT; }

bool NvmeDisk::SendScsiDataOut(std::span<const std::uint8_t> /*cdb*/,
                               std::span<const std::uint8_t> /*dataOut*/, ScsiOutcome& /*outcome*/,
                               int& error) {
  error = EINVAL;
  return false;
}

bool NvmeDisk::ReadText(const char* name, std::string& text, int& error) const {
  const std::string path = controller_ + "/" + name;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return false;
  }
  char buffer[kTextRoom];
  const ssize_t length = ::read(fd, buffer, sizeof buffer);
  error = errno;
  ::close(fd);
  if (length < 0) return false;
  text.assign(buffer, static_cast<std::size_t>(length));
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return true;
}

bool NvmeDisk::ReadNvmeIdentity(NvmeIdentity& identity, int& error) {
  return ReadText("serial", identity.serial, error) && ReadText("model", identity.model, error) &&
         ReadText("firmware_rev", identity.firmware, error);
}

bool NvmeDisk::ReadNvmeHealthLog(NvmeHealthLog log, int& error) {
  nvme_admin_cmd command{};
  command.opcode = kNvmeReadHealthLog.opcode;
  command.nsid = kNvmeReadHealthLog.nsid;
  command.addr = reinterpret_cast<std::uintptr_t>(log.data());
  command.data_len = static_cast<std::uint32_t>(log.size());
  command.cdw10 = kNvmeReadHealthLog.cdw10;
  command.timeout_ms = commandSeconds_ * 1000;
  const int status = ::ioctl(fd_, NVME_IOCTL_ADMIN_CMD, &command);
  if (status < 0) {
    error = errno;
    return false;
  }
  if (status > 0) {  // the controller's own status: the command reached it and failed
    error = EIO;
    return false;
  }
  return true;
}

}  // namespace trelmoss
