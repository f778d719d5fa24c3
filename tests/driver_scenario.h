// The drives of the Windows test disk driver's devices and what each is set up to do. The
// Windows tests set the driver up with them and run trelmoss.exe; the Linux build runs the same
// drives through the fake disks, and the two reports must match byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/fake_disks.h"

namespace trelmoss::test {

// The calls a drive can be told to fail, in the driver's order.
enum class DriverCall {
  kOpen,
  kDeviceNumber,
  kVersion,
  kEnable,
  kIdentify,
  kReadData,
  kReadThresholds,
  kBusType,
  kNvmeIdentify,
  kNvmeHealth,
  kPowerMode,
  kReturnStatus,
  kNone
};

// fCapabilities bits of the driver's version reply.
inline constexpr std::uint32_t kCapAtaIdentify = 1;    // CAP_ATA_ID_CMD
inline constexpr std::uint32_t kCapSmartCommands = 4;  // CAP_SMART_CMD

struct ScenarioDrive {
  std::string disk;  // the captured sectors, "sata0", or an NVMe controller's data, "nvme0"
  std::uint32_t deviceNumber = 0;
  std::uint32_t capabilities = kCapAtaIdentify | kCapSmartCommands;
  DriverCall failing = DriverCall::kNone;
  // The NTSTATUS the driver completes the failing call with. A failing open is a path that names
  // nothing, STATUS_OBJECT_NAME_NOT_FOUND, whatever is set here.
  std::uint32_t status = 0;
  int error = 0;  // the error number Windows maps that status to
  bool nvme = false;
  bool shortNvmeData = false;     // the Windows driver's NVMe replies describe too little data
  std::uint8_t powerMode = 0xFF;  // what CHECK POWER MODE answers: active
  // What RETURN STATUS answers: error, count, LBA low, mid, high, device, status.
  AtaRegisters statusReply{0, 0, 0, 0x4F, 0xC2, 0xA0, 0x50};
  // Behind a USB bridge that carries ATA PASS-THROUGH (16) and (12), only (12), or neither (16,
  // 12, 0); -1: on a SATA port.
  int usbPassThrough = -1;
  bool sas = false;         // a SAS disk, answering as SasAnswers() says
  bool raidVolume = false;  // on the RAID bus: a volume a controller makes of its disks
};

// The SAS disk of the scenarios: identity, four log pages and two grown defects.
ScsiAnswers SasAnswers();

// The interface path Wine gives test device `device`.
std::string DriverInterfacePath(std::size_t device);

// One drive of each kind the driver can play, devices 0 to 7, read by the program with these
// arguments.
inline constexpr const char* kProgramScenarioArguments =
    "--health --prometheus metrics.prom report.xml";
std::vector<ScenarioDrive> ProgramScenario();
// What trelmoss.exe prints for them (with "\r\n" line ends, before the text stream's conversion).
std::string ProgramScenarioConsole();

// The same drives as fake disks at the driver's interface paths.
FakeDiskSystem FakeDisksFor(const std::vector<ScenarioDrive>& drives);

}  // namespace trelmoss::test
