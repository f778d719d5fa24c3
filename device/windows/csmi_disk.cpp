#include "device/windows/csmi_disk.h"

// clang-format off
#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>
// clang-format on

#include <algorithm>

#include "device/windows/windows_errors.h"

namespace trelmoss {
namespace {

constexpr unsigned kControllers = 16;
constexpr unsigned kPortsPerController = 32;
constexpr std::uint32_t kFirstNumber = 256;

std::string ControllerPath(unsigned controller) {
  return "\\\\.\\Scsi" + std::to_string(controller) + ":";
}

HANDLE OpenController(unsigned controller) {
  return CreateFileA(ControllerPath(controller).c_str(), GENERIC_READ | GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

// One frame to the controller's driver and back. A driver that takes the frame but cannot do
// what it asks says so in the frame's return code.
bool AskCsmi(HANDLE controller, std::vector<std::uint8_t>& frame, int& error) {
  DWORD returned = 0;
  const auto size = static_cast<DWORD>(frame.size());
  if (!DeviceIoControl(controller, IOCTL_SCSI_MINIPORT, frame.data(), size, frame.data(), size,
                       &returned, nullptr)) {
    error = LastError();
    return false;
  }
  if (CsmiReturnCode(frame) != 0) {
    error = ERROR_IO_DEVICE;
    return false;
  }
  return true;
}

std::vector<CsmiPort> PortsOf(HANDLE controller, unsigned seconds) {
  int error = 0;
  std::vector<std::uint8_t> driver =
      BuildCsmiFrame(CsmiCode::kDriverInfo, kCsmiDriverInfoBytes, seconds);
  if (!AskCsmi(controller, driver, error)) return {};
  std::vector<std::uint8_t> phys = BuildCsmiFrame(CsmiCode::kPhyInfo, kCsmiPhyInfoBytes, seconds);
  if (!AskCsmi(controller, phys, error)) return {};
  return SataPortsOf(phys);
}

class CsmiDisk final : public DiskHandle {
 public:
  CsmiDisk(HANDLE controller, const CsmiListedPort& listed, unsigned seconds)
      : controller_(controller),
        port_(listed.port),
        number_(kFirstNumber + kPortsPerController * listed.controller + listed.port.number),
        name_(listed.path.substr(4)),
        seconds_(seconds) {}
  ~CsmiDisk() override { CloseHandle(controller_); }
  CsmiDisk(const CsmiDisk&) = delete;
  CsmiDisk& operator=(const CsmiDisk&) = delete;

  bool GetDeviceNumber(std::uint32_t& number, int& /*error*/) override {
    number = number_;
    return true;
  }
  std::string Name() const override { return name_; }
  DiskBus Bus() override { return DiskBus::kAta; }
  RaidPlace Raid() const override { return RaidPlace::kMember; }

  // The pass-through carries any ATA command: it is the controller, not a disk driver, that
  // would have to refuse S.M.A.R.T.
  bool QuerySmartSupport(bool& supported, int& /*error*/) override { return supported = true; }

  bool SendAtaCommand(const AtaCommand& command, SectorBuffer sector, int& error) override {
    std::vector<std::uint8_t> frame = BuildStpFrame(port_, command, seconds_);
    if (!AskCsmi(controller_, frame, error)) return false;
    if (command.readsSector) {
      std::copy_n(frame.begin() + kCsmiStpDataOffset, sector.size(), sector.begin());
    }
    return true;
  }

  // A driver that returns no registers (AMD's) has no answer to give: RETURN STATUS and CHECK
  // POWER MODE are then not to be had, rather than read as all zero.
  bool AskAtaRegisters(const AtaCommand& command, AtaRegisters& returned, int& error) override {
    std::vector<std::uint8_t> frame = BuildStpFrame(port_, command, seconds_);
    if (!AskCsmi(controller_, frame, error)) return false;
    if (StpStatusRegisters(frame, returned)) return true;
    error = ERROR_NOT_SUPPORTED;
    return false;
  }

  bool SendScsiCommand(std::span<const std::uint8_t>, std::span<std::uint8_t>, ScsiOutcome&,
                       int& error) override {
    return Refuse(error);
  }
  bool SendScsiDataOut(std::span<const std::uint8_t>, std::span<const std::uint8_t>, ScsiOutcome&,
                       int& error) override {
    return Refuse(error);
  }
  bool ReadNvmeIdentity(NvmeIdentity&, int& error) override { return Refuse(error); }
  bool ReadNvmeHealthLog(NvmeHealthLog, int& error) override { return Refuse(error); }

  bool MeansTimeout(int error) const override { return MeansTimeoutError(error); }

 private:
  static bool Refuse(int& error) {
    error = ERROR_INVALID_FUNCTION;
    return false;
  }

  HANDLE controller_;
  CsmiPort port_;
  std::uint32_t number_;
  std::string name_;
  unsigned seconds_;
};

}  // namespace

std::vector<CsmiListedPort> ListCsmiPorts(unsigned seconds) {
  std::vector<CsmiListedPort> listed;
  for (unsigned controller = 0; controller < kControllers; ++controller) {
    const HANDLE handle = OpenController(controller);
    if (handle == INVALID_HANDLE_VALUE) continue;
    for (const CsmiPort& port : PortsOf(handle, seconds)) {
      listed.push_back(
          {ControllerPath(controller) + " port " + std::to_string(port.number), controller, port});
    }
    CloseHandle(handle);
  }
  return listed;
}

std::unique_ptr<DiskHandle> OpenCsmiPort(const CsmiListedPort& listed, unsigned seconds,
                                         int& error) {
  const HANDLE handle = OpenController(listed.controller);
  if (handle == INVALID_HANDLE_VALUE) {
    error = LastError();
    return nullptr;
  }
  return std::make_unique<CsmiDisk>(handle, listed, seconds);
}

}  // namespace trelmoss
