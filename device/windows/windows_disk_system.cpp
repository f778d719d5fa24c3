#include "device/windows/windows_disk_system.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <winioctl.h>
#include <ntddscsi.h>
// clang-format on

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "device/nvme/nvme_decoders.h"
#include "device/scsi/bridge_tunnels.h"
#include "device/scsi/scsi_route.h"
#include "device/windows/nvme_query.h"
#include "device/windows/smart_records.h"
#include "device/windows/windows_errors.h"

namespace trelmoss {
namespace {

// GUID_DEVINTERFACE_DISK
constexpr GUID kDiskInterface = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// cbSize of the detail record is the size of its fixed part: 5 in a 32-bit build, 8 in a 64-bit.
constexpr DWORD kDetailFixedPart = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
static_assert(kDetailFixedPart == (sizeof(void*) == 4 ? 5 : 8));
static_assert(sizeof(STORAGE_DEVICE_NUMBER) == 12);
static_assert(SMART_GET_VERSION == kSmartGetVersion);
static_assert(SMART_SEND_DRIVE_COMMAND == kSmartSendDriveCommand);
static_assert(SMART_RCV_DRIVE_DATA == kSmartRcvDriveData);

class WindowsDiskList final : public DiskList {
 public:
  WindowsDiskList(HDEVINFO list, std::vector<std::string> controllerPorts)
      : list_(list), controllerPorts_(std::move(controllerPorts)) {}
  ~WindowsDiskList() override { SetupDiDestroyDeviceInfoList(list_); }
  WindowsDiskList(const WindowsDiskList&) = delete;
  WindowsDiskList& operator=(const WindowsDiskList&) = delete;

  // The disk interfaces, then the controllers' ports.
  InterfaceLookup Fetch(std::uint32_t index, std::string& path) override {
    if (!interfaces_) {
      const InterfaceLookup lookup = FetchInterface(index, path);
      if (lookup != InterfaceLookup::kNoMore) return lookup;
      interfaces_ = index;
    }
    if (index - *interfaces_ >= controllerPorts_.size()) return InterfaceLookup::kNoMore;
    path = controllerPorts_[index - *interfaces_];
    return InterfaceLookup::kFound;
  }

  bool ThroughController(std::uint32_t index) const override {
    return interfaces_ && index >= *interfaces_;
  }

 private:
  InterfaceLookup FetchInterface(std::uint32_t index, std::string& path) {
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    if (!SetupDiEnumDeviceInterfaces(list_, nullptr, &kDiskInterface, index, &interfaceData)) {
      return InterfaceLookup::kNoMore;
    }
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailA(list_, &interfaceData, nullptr, 0, &size, nullptr);
    // A size that cannot even hold the fixed part would have cbSize written past the buffer.
    if (size < kDetailFixedPart) return InterfaceLookup::kDetailFailed;
    std::unique_ptr<std::byte[]> buffer(new (std::nothrow) std::byte[size]);
    if (!buffer) return InterfaceLookup::kOutOfMemory;
    std::memset(buffer.get(), 0, size);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.get());
    detail->cbSize = kDetailFixedPart;
    if (!SetupDiGetDeviceInterfaceDetailA(list_, &interfaceData, detail, size, nullptr, nullptr)) {
      return InterfaceLookup::kDetailFailed;
    }
    const std::size_t pathBytes = size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    path.assign(detail->DevicePath, strnlen(detail->DevicePath, pathBytes));
    return InterfaceLookup::kFound;
  }

  HDEVINFO list_;
  std::vector<std::string> controllerPorts_;
  std::optional<std::uint32_t> interfaces_;  // how many disk interfaces there are, once known
};

// ATA_PASS_THROUGH_EX's task file: features (error on return), sector count, LBA low, mid and
// high, device, command (status on return), reserved; the order of AtaRegisters.
constexpr std::size_t kTaskDevice = 5;
constexpr std::size_t kTaskCommand = 6;
constexpr std::uint8_t kAtaStatusError = 0x01;  // ERR

constexpr ErrorNumbers kErrorNumbers{ERROR_IO_DEVICE, ERROR_INVALID_PARAMETER};

// Behind these buses sit disks that the disk driver's S.M.A.R.T. codes do not reach: USB
// bridges, SAS and SCSI adapters. Each speaks SCSI, and ATA through it when a SATA drive sits
// behind a translating bridge or adapter.
bool SpeaksScsi(STORAGE_BUS_TYPE bus) {
  return bus == BusTypeUsb || bus == BusTypeSas || bus == BusTypeScsi;
}

// A driver that takes no SCSI pass-through answers so: such a disk has no route, and no error.
bool MeansNoScsiPassThrough(int error) {
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
}

// SCSI_PASS_THROUGH and, in the same buffer, the sense and the data; every transfer here is at
// most an NVMe controller's Identify data, which a USB bridge's tunnel returns, so the buffered
// form serves (the direct one hands the driver a pointer into this process).
constexpr std::size_t kPassThroughSense = 32;
struct PassThroughBuffer {
  SCSI_PASS_THROUGH header;
  UCHAR sense[kPassThroughSense];
  UCHAR data[kNvmeIdentifyBytes];
};

// The USB id of the device a disk interface hangs from: the hardware id of the disk's parent
// (USB\VID_174C&PID_2362&REV_0100 for a bridge that speaks bulk-only or UAS), or its instance id.
std::optional<UsbId> UsbIdOfInterface(const std::string& path) {
  const HDEVINFO list = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  if (list == INVALID_HANDLE_VALUE) return std::nullopt;
  SP_DEVICE_INTERFACE_DATA interfaceData{};
  interfaceData.cbSize = sizeof interfaceData;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  DEVINST parent = 0;
  // Opening the interface adds its device to the list, as the list's only one.
  const bool found = SetupDiOpenDeviceInterfaceA(list, path.c_str(), 0, &interfaceData) &&
                     SetupDiEnumDeviceInfo(list, 0, &device) &&
                     CM_Get_Parent(&parent, device.DevInst, 0) == CR_SUCCESS;
  SetupDiDestroyDeviceInfoList(list);
  if (!found) return std::nullopt;
  char ids[512] = {};
  ULONG size = sizeof ids - 2;
  if (CM_Get_DevNode_Registry_PropertyA(parent, CM_DRP_HARDWAREID, nullptr, ids, &size, 0) ==
      CR_SUCCESS) {
    if (const auto id = UsbIdOfDeviceId(ids)) return id;  // the first of the list
  }
  if (CM_Get_Device_IDA(parent, ids, sizeof ids - 1, 0) != CR_SUCCESS) return std::nullopt;
  return UsbIdOfDeviceId(ids);
}

class WindowsDisk final : public DiskHandle {
 public:
  // A disk behind a USB bridge whose id names a tunnel takes that tunnel, and nothing else.
  WindowsDisk(HANDLE handle, ULONG commandSeconds, BridgeTunnel tunnel)
      : handle_(handle), commandSeconds_(commandSeconds) {
    if (tunnel != BridgeTunnel::kNone) bridge_.emplace(tunnel, kErrorNumbers);
  }
  ~WindowsDisk() override { CloseHandle(handle_); }
  WindowsDisk(const WindowsDisk&) = delete;
  WindowsDisk& operator=(const WindowsDisk&) = delete;

  bool GetDeviceNumber(std::uint32_t& number, int& error) override {
    STORAGE_DEVICE_NUMBER deviceNumber{};
    if (!Control(IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &deviceNumber, sizeof deviceNumber,
                 error)) {
      return false;
    }
    number = deviceNumber_ = deviceNumber.DeviceNumber;
    return true;
  }

  std::string Name() const override { return "PhysicalDrive" + std::to_string(deviceNumber_); }

  // The storage stack's own descriptor of the disk; a driver that does not answer, or answers
  // too little to hold the bus type, leaves the disk on the ATA road of the S.M.A.R.T. codes.
  // A disk on a SCSI-speaking bus takes the road its answers decide.
  DiskBus Bus() override {
    if (bridge_) return bridge_->Bus();
    const STORAGE_BUS_TYPE bus = BusType();
    volume_ = bus == BusTypeRAID;
    if (bus == BusTypeNvme) return DiskBus::kNvme;
    if (!SpeaksScsi(bus)) return DiskBus::kAta;
    route_ = DecideScsiRoute(*this, MeansNoScsiPassThrough);
    return BusOf(*route_);
  }

  bool SendScsiCommand(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn,
                       ScsiOutcome& outcome, int& error) override {
    return PassScsi(cdb, dataIn, {}, outcome, error);
  }

  bool SendScsiDataOut(std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> dataOut,
                       ScsiOutcome& outcome, int& error) override {
    return PassScsi(cdb, {}, dataOut, outcome, error);
  }

 private:
  bool PassScsi(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn,
                std::span<const std::uint8_t> dataOut, ScsiOutcome& outcome, int& error) {
    const std::size_t dataBytes = std::max(dataIn.size(), dataOut.size());
    if (cdb.size() > sizeof PassThroughBuffer{}.header.Cdb ||
        dataBytes > sizeof PassThroughBuffer{}.data) {
      error = ERROR_INVALID_PARAMETER;
      return false;
    }
    auto request = std::make_unique<PassThroughBuffer>();
    std::memset(request.get(), 0, sizeof *request);
    SCSI_PASS_THROUGH& header = request->header;
    header.Length = sizeof header;
    header.CdbLength = static_cast<UCHAR>(cdb.size());
    header.SenseInfoLength = kPassThroughSense;
    header.DataIn = !dataOut.empty() ? SCSI_IOCTL_DATA_OUT
                    : dataIn.empty() ? SCSI_IOCTL_DATA_UNSPECIFIED
                                     : SCSI_IOCTL_DATA_IN;
    header.DataTransferLength = static_cast<ULONG>(dataBytes);
    std::copy(dataOut.begin(), dataOut.end(), request->data);
    header.TimeOutValue = commandSeconds_;
    header.DataBufferOffset = offsetof(PassThroughBuffer, data);
    header.SenseInfoOffset = offsetof(PassThroughBuffer, sense);
    std::copy(cdb.begin(), cdb.end(), header.Cdb);
    const auto started = std::chrono::steady_clock::now();
    if (!Control(IOCTL_SCSI_PASS_THROUGH, request.get(), sizeof *request, request.get(),
                 sizeof *request, error)) {
      return false;
    }
    // A port driver may end a timed-out command with a status of its own: failing only after
    // the whole time it was given tells it from a refusal.
    if (header.ScsiStatus != 0 &&
        std::chrono::steady_clock::now() - started >= std::chrono::seconds(commandSeconds_)) {
      error = ERROR_SEM_TIMEOUT;
      return false;
    }
    std::copy_n(request->data, std::min<std::size_t>(header.DataTransferLength, dataIn.size()),
                dataIn.begin());
    std::copy_n(request->sense, kPassThroughSense, sense_);
    outcome = {header.ScsiStatus, 0, 0,
               std::span<const std::uint8_t>(
                   sense_, std::min<std::size_t>(header.SenseInfoLength, kPassThroughSense))};
    return true;
  }

  STORAGE_BUS_TYPE BusType() {
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    STORAGE_DEVICE_DESCRIPTOR descriptor{};
    DWORD returned = 0;
    if (!DeviceIoControl(handle_, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &descriptor,
                         sizeof descriptor, &returned, nullptr) ||
        returned < offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof descriptor.BusType) {
      return BusTypeUnknown;
    }
    return descriptor.BusType;
  }

  bool ScsiRouted() const { return route_.has_value(); }

 public:
  // A disk on the RAID bus is a volume a controller makes of its disks, which, where the
  // controller answers CSMI, are listed after it.
  RaidPlace Raid() const override { return volume_ ? RaidPlace::kVolume : RaidPlace::kNone; }

  bool QuerySmartSupport(bool& supported, int& error) override {
    if (bridge_) return supported = bridge_->Bus() == DiskBus::kAta, true;
    if (ScsiRouted()) return SmartSupportOf(*route_, supported, error);
    std::array<std::uint8_t, kVersionReplySize> reply{};
    if (!Control(SMART_GET_VERSION, nullptr, 0, reply.data(), reply.size(), error)) return false;
    supported = (VersionCapabilities(reply) & kCapSmartCommands) != 0;
    return true;
  }

  // The reply record is cleared first and its data part decoded whole, whatever byte count the
  // driver returns.
  bool SendAtaCommand(const AtaCommand& command, SectorBuffer sector, int& error) override {
    if (bridge_) return bridge_->SendAtaCommand(*this, command, sector, error);
    if (ScsiRouted()) {
      return SendAtaOverScsi(*this, route_->route, command, sector, kErrorNumbers, error);
    }
    // The S.M.A.R.T. codes carry S.M.A.R.T. commands and IDENTIFY alone.
    if (command.registers.command == kAtaReadLogExt) {
      AtaRegisters returned;
      return PassThroughAta(command.registers, sector, returned, error);
    }
    SmartRequest request = BuildSmartRequest(command, deviceNumber_);
    std::array<std::uint8_t, kLargestReplySize> reply{};
    if (!Control(ControlCodeOf(command), request.data(), request.size(), reply.data(),
                 ReplySizeOf(command), error)) {
      return false;
    }
    if (command.readsSector) {
      std::copy_n(reply.begin() + kReplyDataOffset, sector.size(), sector.begin());
    }
    return true;
  }

  // CHECK POWER MODE travels through the ATA pass-through, which returns the current task file;
  // RETURN STATUS through the S.M.A.R.T. control code, which returns the IDEREGS after its record.
  bool AskAtaRegisters(const AtaCommand& command, AtaRegisters& returned, int& error) override {
    if (bridge_) return bridge_->AskAtaRegisters(*this, command, returned, error);
    if (ScsiRouted()) {
      return AskAtaRegistersOverScsi(*this, route_->route, command, kErrorNumbers, returned, error);
    }
    if (command.registers.command == kAtaCheckPowerMode) {
      return PassThroughAta(command.registers, {}, returned, error);
    }
    if (command.readsSector || ReplySizeOf(command) != kReturnStatusReplySize) {
      error = ERROR_INVALID_PARAMETER;
      return false;
    }
    SmartRequest request = BuildSmartRequest(command, deviceNumber_);
    std::array<std::uint8_t, kReturnStatusReplySize> reply{};
    if (!Control(kSmartSendDriveCommand, request.data(), request.size(), reply.data(), reply.size(),
                 error)) {
      return false;
    }
    returned = ReturnedRegisters(reply);
    return true;
  }

  bool ReadNvmeIdentity(NvmeIdentity& identity, int& error) override {
    if (bridge_) return bridge_->ReadNvmeIdentity(*this, identity, error);
    NvmeQuery query(NvmeQueryKind::kIdentifyController);
    const std::span<const std::uint8_t> data = Ask(query, error);
    if (data.empty()) return false;
    identity = IdentityOfController(data.first<kNvmeIdentifyBytes>());
    return true;
  }

  bool MeansTimeout(int error) const override { return MeansTimeoutError(error); }

  bool ReadNvmeHealthLog(NvmeHealthLog log, int& error) override {
    if (bridge_) return bridge_->ReadNvmeHealthLog(*this, log, error);
    NvmeQuery query(NvmeQueryKind::kHealthLog);
    const std::span<const std::uint8_t> data = Ask(query, error);
    if (data.empty()) return false;
    std::copy_n(data.begin(), log.size(), log.begin());
    return true;
  }

 private:
  // ATA_PASS_THROUGH_EX with its data, one sector at most, after it in the same buffer: the
  // command the S.M.A.R.T. codes do not carry (CHECK POWER MODE, READ LOG EXT).
  struct AtaPassThroughBuffer {
    ATA_PASS_THROUGH_EX header;
    UCHAR data[kSectorSize];
  };
  bool PassThroughAta(const AtaRegisters& registers, std::span<std::uint8_t> dataIn,
                      AtaRegisters& returned, int& error) {
    AtaPassThroughBuffer buffer{};
    ATA_PASS_THROUGH_EX& request = buffer.header;
    request.Length = sizeof request;
    request.AtaFlags = ATA_FLAGS_DRDY_REQUIRED | (dataIn.empty() ? 0 : ATA_FLAGS_DATA_IN);
    request.DataTransferLength = static_cast<ULONG>(dataIn.size());
    request.DataBufferOffset = dataIn.empty() ? 0 : offsetof(AtaPassThroughBuffer, data);
    request.TimeOutValue = commandSeconds_;
    UCHAR* task = request.CurrentTaskFile;
    task[0] = registers.features;
    task[1] = registers.sectorCount;
    task[2] = registers.sectorNumber;
    task[3] = registers.cylinderLow;
    task[4] = registers.cylinderHigh;
    task[kTaskDevice] = registers.driveHead;
    task[kTaskCommand] = registers.command;
    const std::size_t size = dataIn.empty() ? sizeof request : sizeof buffer;
    if (!Control(IOCTL_ATA_PASS_THROUGH, &buffer, size, &buffer, size, error)) return false;
    if ((task[kTaskCommand] & kAtaStatusError) != 0) {
      error = ERROR_IO_DEVICE;
      return false;
    }
    std::copy_n(buffer.data, dataIn.size(), dataIn.begin());
    returned = {task[0], task[1], task[2], task[3], task[4], task[5], task[6]};
    return true;
  }

  std::span<const std::uint8_t> Ask(NvmeQuery& query, int& error) {
    if (!Control(IOCTL_STORAGE_QUERY_PROPERTY, query.Bytes(), query.Size(), query.Bytes(),
                 query.Size(), error)) {
      return {};
    }
    return query.Data(error);
  }

  bool Control(DWORD code, void* input, std::size_t inputSize, void* output, std::size_t outputSize,
               int& error) {
    DWORD returned = 0;
    if (!DeviceIoControl(handle_, code, input, static_cast<DWORD>(inputSize), output,
                         static_cast<DWORD>(outputSize), &returned, nullptr)) {
      error = LastError();
      return false;
    }
    return true;
  }

  HANDLE handle_;
  ULONG commandSeconds_;
  std::uint32_t deviceNumber_ = 0;
  std::optional<RouteDecision> route_;  // set for a disk on a SCSI-speaking bus
  std::optional<BridgeRoad> bridge_;
  bool volume_ = false;
  std::uint8_t sense_[kPassThroughSense] = {};
};

}  // namespace

std::unique_ptr<DiskList> WindowsDiskSystem::ListDisks() {
  const HDEVINFO list = SetupDiGetClassDevsA(&kDiskInterface, nullptr, nullptr,
                                             DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (list == INVALID_HANDLE_VALUE) return nullptr;
  csmiPorts_ = ListCsmiPorts(CommandSeconds());
  std::vector<std::string> ports;
  for (const CsmiListedPort& port : csmiPorts_) ports.push_back(port.path);
  return std::make_unique<WindowsDiskList>(list, std::move(ports));
}

std::unique_ptr<DiskHandle> WindowsDiskSystem::Open(const std::string& path, int& error) {
  const auto port =
      std::find_if(csmiPorts_.begin(), csmiPorts_.end(),
                   [&path](const CsmiListedPort& listed) { return listed.path == path; });
  if (port != csmiPorts_.end()) return OpenCsmiPort(*port, CommandSeconds(), error);
  const HANDLE handle =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = LastError();
    return nullptr;
  }
  const std::optional<UsbId> usb = UsbIdOfInterface(path);
  return std::make_unique<WindowsDisk>(handle, CommandSeconds(),
                                       usb ? TunnelOf(*usb) : BridgeTunnel::kNone);
}

}  // namespace trelmoss
