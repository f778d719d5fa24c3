#include "tests/driver_scenario.h"

#include <map>

#include "device/nvme/nvme_decoders.h"
#include "tests/captured_sectors.h"

namespace trelmoss::test {

std::string DriverInterfacePath(std::size_t device) {
  return "\\\\?\\root#trelmoss#" + std::to_string(device) +
         "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
}

std::vector<ScenarioDrive> ProgramScenario() {
  ScenarioDrive failing{"sata3", 0};
  failing.statusReply = {0, 0, 0, 0xF4, 0x2C, 0xA0, 0x50};  // a threshold exceeded
  return {
      failing,
      {"sata1", 1, kCapAtaIdentify | kCapSmartCommands, DriverCall::kOpen, 0xC0000034, 2},
      {"sata1", 300, kCapAtaIdentify | kCapSmartCommands, DriverCall::kReadThresholds, 0xC0000185,
       1117},
      {"sata0", 2, kCapAtaIdentify},
      {"sata0", 3, kCapAtaIdentify | kCapSmartCommands, DriverCall::kIdentify, 0xC0000010, 1},
      {"sata0", 4, kCapAtaIdentify | kCapSmartCommands, DriverCall::kDeviceNumber, 0xC00000BB, 50},
      {"nvme0", 5, 0, DriverCall::kNone, 0, 0, true},
      // A driver that hides the NVMe drive refuses the query: STATUS_INVALID_DEVICE_REQUEST.
      {"nvme0", 6, 0, DriverCall::kNvmeHealth, 0xC0000010, 1, true},
  };
}

std::string ProgramScenarioConsole() {
  return "Trelmoss v1.1\r\ncan't open device " + DriverInterfacePath(1) +
         "  (Error 2)can't get device number " + DriverInterfacePath(5) +
         "  (Error 50)Total drives: 6\r\n" + DriverInterfacePath(0) +
         " health: failing: smart_status_failed 1\r\n" + DriverInterfacePath(3) +
         " health: unknown\r\n" + DriverInterfacePath(6) +
         " health: warning: critical_warning_temperature 2\r\n" + DriverInterfacePath(7) +
         " health: unknown\r\n";
}

ScsiAnswers SasAnswers() {
  ScsiAnswers answers;
  answers.logPages = {
      {0x2F, {0x2F, 0, 0, 7, 0, 0, 0x03, 3, 0, 0, 38}},                  // no exception
      {0x0D, {0x0D, 0, 0, 12, 0, 0, 3, 2, 0, 38, 0, 1, 3, 2, 0, 65}},    // 38 C, trip 65 C
      {0x0E, {0x0E, 0, 0, 8, 0, 4, 3, 4, 0, 0, 0, 21}},                  // 21 start-stops
      {0x03, {0x03, 0, 0, 13, 0, 5, 3, 9, 1, 0, 0, 0, 0, 0, 0, 0, 0}}};  // 2^64 bytes read
  answers.defects10 = {0, 0x0C, 0, 16};
  return answers;
}

namespace {

// The fake's step for each exchange the driver can fail.
const std::map<DriverCall, Step> kSteps = {{DriverCall::kVersion, Step::kVersion},
                                           {DriverCall::kEnable, Step::kEnable},
                                           {DriverCall::kIdentify, Step::kIdentify},
                                           {DriverCall::kReadData, Step::kReadData},
                                           {DriverCall::kReadThresholds, Step::kReadThresholds},
                                           {DriverCall::kNvmeIdentify, Step::kNvmeIdentity},
                                           {DriverCall::kNvmeHealth, Step::kNvmeHealth},
                                           {DriverCall::kPowerMode, Step::kPowerMode},
                                           {DriverCall::kReturnStatus, Step::kReturnStatus}};

void LoadCaptures(FakeDisk& disk, const ScenarioDrive& drive) {
  if (!drive.nvme) {
    disk.identify = CapturedSector(drive.disk + ".identify");
    disk.attributes = CapturedSector(drive.disk + ".data");
    disk.thresholds = CapturedSector(drive.disk + ".thresholds");
    return;
  }
  disk.bus = DiskBus::kNvme;
  disk.nvmeIdentity = IdentityOfController(std::span<const std::uint8_t, kNvmeIdentifyBytes>(
      CapturedBytes(drive.disk + ".identify").data(), kNvmeIdentifyBytes));
  disk.healthLog = CapturedSector(drive.disk + ".health");
}

}  // namespace

FakeDiskSystem FakeDisksFor(const std::vector<ScenarioDrive>& drives) {
  FakeDiskSystem system;
  for (std::size_t device = 0; device < drives.size(); ++device) {
    const ScenarioDrive& drive = drives[device];
    FakeDisk disk;
    disk.path = DriverInterfacePath(device);
    disk.deviceNumber = drive.deviceNumber;
    disk.name = "PhysicalDrive" + std::to_string(drive.deviceNumber);  // as Windows names it
    disk.smartCommands = (drive.capabilities & kCapSmartCommands) != 0;
    disk.powerMode = drive.powerMode;
    disk.statusReply = drive.statusReply;
    disk.raid = drive.raidVolume ? RaidPlace::kVolume : RaidPlace::kNone;
    if (drive.usbPassThrough == 0) {  // nothing passes to the drive: the bridge says who it is
      disk.bus = DiskBus::kScsiIdentity;
      disk.scsi.vendor = "JMicron", disk.scsi.product = "Tech", disk.scsi.revision = "0204";
      disk.scsi.serial.clear();
    }
    if (drive.sas) {
      disk.bus = DiskBus::kScsi;
      disk.scsi = SasAnswers();
    }
    LoadCaptures(disk, drive);
    if (drive.failing == DriverCall::kOpen) disk.openError = drive.error;
    if (drive.failing == DriverCall::kDeviceNumber) disk.numberError = drive.error;
    if (const auto step = kSteps.find(drive.failing); step != kSteps.end()) {
      disk.failures[step->second] = drive.error;
    }
    system.disks.push_back(disk);
  }
  return system;
}

}  // namespace trelmoss::test
