/* Creates the root-enumerated test devices "root\trelmoss\0" to "root\trelmoss\COUNT-1" and
   installs the test disk driver for them from its INF, then waits until every device's disk
   interface is listed and the driver's control device opens.

   usage: test_disk_install.exe INF COUNT */
#include <windows.h>
/* clang-format off */
#include <setupapi.h>
#include <newdev.h>
/* clang-format on */
#include <stdio.h>
#include <stdlib.h>

#include "test_disk_protocol.h"

static const GUID system_class = {
    0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
static const GUID disk_interface = {
    0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
static const char hardware_id[] = "trelmoss_test_disk\0";

static int fail(const char* what) {
  printf("test_disk_install: %s failed (error %lu)\n", what, GetLastError());
  return 1;
}

static int create_device(HDEVINFO set, int index) {
  char instance[64];
  SP_DEVINFO_DATA device;
  ZeroMemory(&device, sizeof device);
  device.cbSize = sizeof device;
  snprintf(instance, sizeof instance, "root\\trelmoss\\%d", index);
  if (!SetupDiCreateDeviceInfoA(set, instance, &system_class, NULL, NULL, 0, &device))
    return fail("SetupDiCreateDeviceInfoA");
  if (!SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, (const BYTE*)hardware_id,
                                         sizeof hardware_id))
    return fail("SetupDiSetDeviceRegistryPropertyA");
  if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device))
    return fail("DIF_REGISTERDEVICE");
  return 0;
}

static DWORD listed_interfaces(void) {
  SP_DEVICE_INTERFACE_DATA data;
  DWORD count = 0;
  HDEVINFO list =
      SetupDiGetClassDevsA(&disk_interface, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (list == INVALID_HANDLE_VALUE) return 0;
  ZeroMemory(&data, sizeof data);
  data.cbSize = sizeof data;
  while (SetupDiEnumDeviceInterfaces(list, NULL, &disk_interface, count, &data)) ++count;
  SetupDiDestroyDeviceInfoList(list);
  return count;
}

static int control_device_opens(void) {
  HANDLE control = CreateFileA(TEST_DISK_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE, 0, NULL,
                               OPEN_EXISTING, 0, NULL);
  if (control == INVALID_HANDLE_VALUE) return 0;
  CloseHandle(control);
  return 1;
}

int main(int argc, char** argv) {
  char inf[MAX_PATH];
  BOOL reboot = FALSE;
  HDEVINFO set;
  int count, index, waited;
  if (argc != 3 || (count = atoi(argv[2])) < 1 || count > TEST_DISK_DEVICES) {
    printf("usage: test_disk_install.exe INF COUNT\n");
    return 2;
  }
  if (!GetFullPathNameA(argv[1], sizeof inf, inf, NULL)) return fail("GetFullPathNameA");
  set = SetupDiCreateDeviceInfoList(&system_class, NULL);
  if (set == INVALID_HANDLE_VALUE) return fail("SetupDiCreateDeviceInfoList");
  for (index = 0; index < count; ++index) {
    if (create_device(set, index)) {
      SetupDiDestroyDeviceInfoList(set);
      return 1;
    }
  }
  SetupDiDestroyDeviceInfoList(set);
  if (!UpdateDriverForPlugAndPlayDevicesA(NULL, "trelmoss_test_disk", inf, INSTALLFLAG_FORCE,
                                          &reboot))
    return fail("UpdateDriverForPlugAndPlayDevicesA");
  /* The devices start in the driver's host process, a moment after the installer returns. */
  for (waited = 0; waited < 200; ++waited) {
    if (listed_interfaces() == (DWORD)count && control_device_opens()) {
      printf("test_disk_install: %d devices ready\n", count);
      return 0;
    }
    Sleep(100);
  }
  printf("test_disk_install: %lu of %d interfaces listed after 20 s\n", listed_interfaces(), count);
  return 1;
}
