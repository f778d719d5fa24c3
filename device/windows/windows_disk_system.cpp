#include "device/windows/windows_disk_system.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
#include <winioctl.h>
// clang-format on

#include <cstddef>
#include <cstring>
#include <new>

#include "device/smart_records.h"

namespace trelmoss {
namespace {

// GUID_DEVINTERFACE_DISK
constexpr GUID kDiskInterface = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// cbSize of the detail record is the size of its fixed part: 5 in a 32-bit build, 8 in a 64-bit.
constexpr DWORD kDetailFixedPart = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
static_assert(kDetailFixedPart == (sizeof(void*) == 4 ? 5 : 8));
static_assert(sizeof(STORAGE_DEVICE_NUMBER) == 12);
static_assert(IOCTL_STORAGE_GET_DEVICE_NUMBER == kStorageGetDeviceNumber);
static_assert(SMART_GET_VERSION == kSmartGetVersion);
static_assert(SMART_SEND_DRIVE_COMMAND == kSmartSendDriveCommand);
static_assert(SMART_RCV_DRIVE_DATA == kSmartRcvDriveData);

class WindowsDiskList final : public DiskList {
 public:
  explicit WindowsDiskList(HDEVINFO list) : list_(list) {}
  ~WindowsDiskList() override { SetupDiDestroyDeviceInfoList(list_); }
  WindowsDiskList(const WindowsDiskList&) = delete;
  WindowsDiskList& operator=(const WindowsDiskList&) = delete;

  InterfaceLookup Fetch(std::uint32_t index, std::string& path) override {
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

 private:
  HDEVINFO list_;
};

class WindowsDisk final : public DiskHandle {
 public:
  explicit WindowsDisk(HANDLE handle) : handle_(handle) {}
  ~WindowsDisk() override { CloseHandle(handle_); }
  WindowsDisk(const WindowsDisk&) = delete;
  WindowsDisk& operator=(const WindowsDisk&) = delete;

  bool GetDeviceNumber(std::uint32_t& number, int& error) override {
    STORAGE_DEVICE_NUMBER deviceNumber{};
    DWORD returned = 0;
    if (!DeviceIoControl(handle_, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &deviceNumber,
                         sizeof deviceNumber, &returned, nullptr)) {
      error = static_cast<int>(GetLastError());
      return false;
    }
    number = deviceNumber.DeviceNumber;
    return true;
  }

  bool Control(std::uint32_t code, std::span<const std::uint8_t> request,
               std::span<std::uint8_t> reply, int& error) override {
    DWORD returned = 0;  // not examined: the reply buffer is decoded whole
    void* input = request.empty() ? nullptr : const_cast<std::uint8_t*>(request.data());
    if (!DeviceIoControl(handle_, code, input, static_cast<DWORD>(request.size()), reply.data(),
                         static_cast<DWORD>(reply.size()), &returned, nullptr)) {
      error = static_cast<int>(GetLastError());
      return false;
    }
    return true;
  }

 private:
  HANDLE handle_;
};

}  // namespace

std::unique_ptr<DiskList> WindowsDiskSystem::ListDisks() {
  const HDEVINFO list = SetupDiGetClassDevsA(&kDiskInterface, nullptr, nullptr,
                                             DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (list == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<WindowsDiskList>(list);
}

std::unique_ptr<DiskHandle> WindowsDiskSystem::Open(const std::string& path, int& error) {
  const HANDLE handle =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = static_cast<int>(GetLastError());
    return nullptr;
  }
  return std::make_unique<WindowsDisk>(handle);
}

}  // namespace trelmoss
