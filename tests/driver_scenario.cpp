#include "tests/driver_scenario.h"

#include "tests/captured_sectors.h"

namespace trelmoss::test {

std::string DriverInterfacePath(std::size_t device) {
  return "\\\\?\\root#trelmoss#" + std::to_string(device) +
         "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
}

std::vector<ScenarioDrive> ProgramScenario() {
  return {
      {"sata3", 0},
      {"sata1", 1, kCapAtaIdentify | kCapSmartCommands, DriverCall::kOpen, 0xC0000034, 2},
      {"sata1", 300, kCapAtaIdentify | kCapSmartCommands, DriverCall::kReadThresholds, 0xC0000185,
       1117},
      {"sata0", 2, kCapAtaIdentify},
      {"sata0", 3, kCapAtaIdentify | kCapSmartCommands, DriverCall::kIdentify, 0xC0000010, 1},
      {"sata0", 4, kCapAtaIdentify | kCapSmartCommands, DriverCall::kDeviceNumber, 0xC00000BB, 50},
  };
}

std::string ProgramScenarioConsole() {
  return "Trelmoss v1.1\r\ncan't open device " + DriverInterfacePath(1) +
         "  (Error 2)can't get device number " + DriverInterfacePath(5) +
         "  (Error 50)Total drives: 4\r\n";
}

FakeDiskSystem FakeDisksFor(const std::vector<ScenarioDrive>& drives) {
  FakeDiskSystem system;
  for (std::size_t device = 0; device < drives.size(); ++device) {
    const ScenarioDrive& drive = drives[device];
    FakeDisk disk;
    disk.path = DriverInterfacePath(device);
    disk.deviceNumber = drive.deviceNumber;
    disk.capabilities = drive.capabilities;
    disk.identify = CapturedSector(drive.disk + ".identify");
    disk.attributes = CapturedSector(drive.disk + ".data");
    disk.thresholds = CapturedSector(drive.disk + ".thresholds");
    switch (drive.failing) {
      case DriverCall::kOpen:
        disk.openError = drive.error;
        break;
      case DriverCall::kDeviceNumber:
        disk.numberError = drive.error;
        break;
      case DriverCall::kVersion:
        disk.failures[Step::kVersion] = drive.error;
        break;
      case DriverCall::kEnable:
        disk.failures[Step::kEnable] = drive.error;
        break;
      case DriverCall::kIdentify:
        disk.failures[Step::kIdentify] = drive.error;
        break;
      case DriverCall::kReadData:
        disk.failures[Step::kReadData] = drive.error;
        break;
      case DriverCall::kReadThresholds:
        disk.failures[Step::kReadThresholds] = drive.error;
        break;
      case DriverCall::kNone:
        break;
    }
    system.disks.push_back(disk);
  }
  return system;
}

}  // namespace trelmoss::test
