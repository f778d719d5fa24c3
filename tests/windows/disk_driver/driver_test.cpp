// The Windows device path run for real: Wine's SetupAPI lists the test disk driver's interfaces,
// CreateFileA opens them and Wine's I/O manager carries every control call to the driver, which
// records the bytes it receives and answers with sectors captured from emulated ATA disks.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
// clang-format off
#include <winioctl.h>
#include <ntddscsi.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <span>

#include "device/windows/windows_disk_system.h"
#include "model/console.h"
#include "model/drive_table.h"
#include "report/report.h"
#include "tests/report_checks.h"
#include "tests/windows/disk_driver/test_disks.h"

namespace trelmoss::test {
namespace {

using Call = DriverCall;

// The bytes of a disk request's input the expected lines hold.
constexpr std::size_t kKeptInput = 48;

std::string Line(unsigned device, const char* what, unsigned code, const std::string& input,
                 unsigned replySize) {
  char head[64];
  std::snprintf(head, sizeof head, "%u %s %08x ", device, what, code);
  std::string line = head;
  line.append(input).append(" ").append(std::to_string(replySize)).append("\n");
  return line;
}

// The 33-byte request: cBufferSize, the registers (features, count, number, cylinder low and
// high, drive/head, command, reserved), the drive number's low byte, then zeros.
std::string SmartRequest(const char* bufferSize, const char* registers, std::uint32_t number) {
  char driveNumber[3];
  std::snprintf(driveNumber, sizeof driveNumber, "%02x", number & 0xFF);
  std::string request = bufferSize;
  request.append(registers).append(driveNumber).append(2 * 20, '0');
  return request;
}

// The storage property queries: the device descriptor (PropertyId 0, a standard query), then
// for an NVMe drive the protocol queries, of which the first 48 bytes are kept: PropertyId 49
// (adapter) or 50 (device), QueryType 0, ProtocolType 3 (NVMe), DataType 1 (Identify) or 2 (log
// page), the CNS 1 or log id 2, sub-value 0, the data offset 40 and length 4096 or 512, three
// zero words and, for the log, Retain Asynchronous Event in the fourth sub-value.
constexpr const char* kBusTypeQuery = "000000000000000000000000";
const std::string kNvmeIdentifyQuery =
    "31000000000000000300000001000000010000000000000028000000001000000000000000000000000000000000"
    "0000";
const std::string kNvmeHealthQuery =
    "32000000000000000300000002000000020000000000000028000000000200000000000000000000000000000100"
    "0000";

// CHECK POWER MODE as ATA_PASS_THROUGH_EX: its own length, DRDY required, no data, 30 s, and the
// task file's device (A0h) and command (E5h).
std::string PowerModeRequest() {
  ATA_PASS_THROUGH_EX request{};
  request.Length = sizeof request;
  request.AtaFlags = 1;
  request.TimeOutValue = 30;
  request.CurrentTaskFile[5] = 0xA0;
  request.CurrentTaskFile[6] = 0xE5;
  return Hex(
      {reinterpret_cast<const char*>(&request), std::min<std::size_t>(sizeof request, kKeptInput)});
}

// With `leaveAsleep`, a drive whose driver passes S.M.A.R.T. commands is asked its power mode,
// and one in standby is sent nothing more; with `readStatus`, RETURN STATUS follows the
// thresholds, its reply the record and the IDEREGS; with `readLogs`, S.M.A.R.T. READ LOG of the
// self-test and error logs, which every captured drive's data sector says it keeps, and which
// the test driver, like a disk driver that does not carry it, refuses.
std::string AtaRequests(unsigned device, const ScenarioDrive& drive, ReadOptions options) {
  const auto fails = [&drive](Call call) { return drive.failing == call; };
  // STATUS_IO_TIMEOUT: the drive is sent nothing more.
  const auto timesOut = [&drive, &fails](Call call) {
    return fails(call) && drive.status == 0xC00000B5;
  };
  const std::uint32_t n = drive.deviceNumber;
  std::string lines = Line(device, "control", 0x00074080, "", 24);
  if (fails(Call::kVersion) || (drive.capabilities & 4) == 0) return lines;
  if (options.leaveAsleep) {
    lines += Line(device, "control", 0x0004D02C, PowerModeRequest(),
                  static_cast<unsigned>(sizeof(ATA_PASS_THROUGH_EX)));
    if (!fails(Call::kPowerMode) && drive.powerMode <= 1) return lines;
  }
  lines += Line(device, "control", 0x0007C084, SmartRequest("00000000", "d801014fc2a0b000", n), 17);
  if (fails(Call::kEnable)) return lines;
  lines +=
      Line(device, "control", 0x0007C088, SmartRequest("00020000", "0001010000a0ec00", n), 528);
  if (timesOut(Call::kIdentify)) return lines;
  lines +=
      Line(device, "control", 0x0007C088, SmartRequest("00020000", "d001014fc2a0b000", n), 531);
  if (timesOut(Call::kReadData)) return lines;
  lines +=
      Line(device, "control", 0x0007C088, SmartRequest("00020000", "d101014fc2a0b000", n), 531);
  if (!options.readStatus || timesOut(Call::kReadThresholds)) return lines;
  lines += Line(device, "control", 0x0007C084, SmartRequest("00000000", "da01014fc2a0b000", n), 24);
  if (!options.readLogs) return lines;
  lines +=
      Line(device, "control", 0x0007C088, SmartRequest("00020000", "d501064fc2a0b000", n), 531);
  return lines +
         Line(device, "control", 0x0007C088, SmartRequest("00020000", "d501014fc2a0b000", n), 531);
}

// What a drive must be sent, from the open to the close, when `drive` fails where it says.
std::string ExpectedRequests(unsigned device, const ScenarioDrive& drive, ReadOptions options) {
  if (drive.failing == Call::kOpen) return "";  // the path names nothing: no request reaches it
  std::string lines = Line(device, "open", 0, "", 0);
  lines += Line(device, "control", 0x002D1080, "", 12);
  if (drive.failing != Call::kDeviceNumber) {
    lines += Line(device, "control", 0x002D1400, kBusTypeQuery, 40);
    if (drive.nvme && drive.failing != Call::kBusType) {
      lines += Line(device, "control", 0x002D1400, kNvmeIdentifyQuery, 48 + 4096);
      lines += Line(device, "control", 0x002D1400, kNvmeHealthQuery, 48 + 512);
    } else {
      lines += AtaRequests(device, drive, options);
    }
  }
  return lines + Line(device, "close", 0, "", 0);
}

std::string ExpectedRequests(const std::vector<ScenarioDrive>& drives, ReadOptions options) {
  std::string lines;
  for (unsigned device = 0; device < drives.size(); ++device) {
    lines += ExpectedRequests(device, drives[device], options);
  }
  return lines;
}

// The disks' requests, or the RAID controller's.
std::string ReceivedRequests(const test_disk_log& log, bool controller = false) {
  std::string lines;
  for (unsigned i = 0; i < log.count && i < TEST_DISK_LOG_ROOM; ++i) {
    const test_disk_request& request = log.requests[i];
    if ((request.device == TEST_DISK_CONTROLLER) != controller) continue;
    const char* what = request.major == TEST_DISK_MAJOR_CREATE  ? "open"
                       : request.major == TEST_DISK_MAJOR_CLOSE ? "close"
                                                                : "control";
    const std::size_t kept =
        std::min<std::size_t>(request.input_length, controller ? sizeof request.input : kKeptInput);
    lines += Line(request.device, what, request.code,
                  Hex({reinterpret_cast<const char*>(request.input), kept}), request.output_length);
  }
  return lines;
}

// The requests of each device in their order; the devices are read side by side.
std::string ByDevice(const std::string& lines) {
  std::vector<std::string> each;
  for (std::size_t at = 0; at < lines.size(); at = lines.find('\n', at) + 1) {
    each.push_back(lines.substr(at, lines.find('\n', at) + 1 - at));
  }
  std::stable_sort(each.begin(), each.end(), [](const std::string& a, const std::string& b) {
    return std::stoul(a) < std::stoul(b);
  });
  std::string sorted;
  for (const std::string& line : each) sorted += line;
  return sorted;
}

// Every request as the drives' failures demand, each handle closed in the end.
void ExpectRequestsOf(const std::vector<ScenarioDrive>& drives, ReadOptions options = {}) {
  const auto log = ReadTestDiskLog();
  EXPECT_EQ(ByDevice(ReceivedRequests(*log)), ExpectedRequests(drives, options));
  EXPECT_LE(log->count, unsigned{TEST_DISK_LOG_ROOM});
  EXPECT_EQ(log->open_now, 0u);
}

std::vector<ScenarioDrive> HealthyDrives() {
  std::vector<ScenarioDrive> drives;
  for (std::uint32_t device = 0; device < kTestDiskDevices; ++device) {
    drives.push_back({device % 2 ? "sata1" : "sata3", device});
  }
  return drives;
}

TEST(TestDiskDriver, SetupApiListsEveryDeviceWithItsInterfacePath) {
  WindowsDiskSystem disks;
  const auto list = disks.ListDisks();
  ASSERT_NE(list, nullptr);
  std::string path;
  for (std::uint32_t index = 0; index < kTestDiskDevices; ++index) {
    ASSERT_EQ(list->Fetch(index, path), InterfaceLookup::kFound) << index;
    EXPECT_EQ(path, DriverInterfacePath(index));
  }
  EXPECT_EQ(list->Fetch(kTestDiskDevices, path), InterfaceLookup::kNoMore);
}

TEST(TestDiskDriver, ReadsEveryDriveInOrderWithTheExactRequests) {
  const auto drives = ProgramScenario();
  SetUpTestDisks(drives);
  WindowsDiskSystem disks;
  Console console;
  DriveTable table;
  ASSERT_TRUE(table.EnumerateDrives(disks, console));
  const std::string total = "Total drives: 6\r\n";
  const std::string expectedConsole = ProgramScenarioConsole();
  EXPECT_EQ("Trelmoss v1.1\r\n" + console.Text() + total,
            expectedConsole.substr(0, expectedConsole.find(total) + total.size()));
  ASSERT_EQ(table.DriveCount(), 6);
  const struct {
    std::size_t device;
    std::uint32_t number;
    const char* serial;
    const char* errorText;
    std::uint8_t attributes;
  } slots[] = {{0, 0, "E2E-SATA-3", "", 7},
               {2, 300, "E2E-SATA-1", "Error 1117 reading thresholds SMART data", 7},
               {3, 2, "", "", 0},
               {4, 3, "", "Error 1 in reading basic SMART data", 7},
               {6, 5, "E2E-NVME-W", "", 0},
               {7, 6, "E2E-NVME-W", "Error 1 reading detailed SMART data", 0}};
  for (std::uint8_t slot = 0; slot < 6; ++slot) {
    const DriveRecord& drive = table.Drive(slot);
    EXPECT_EQ(drive.devicePath, DriverInterfacePath(slots[slot].device));
    EXPECT_EQ(drive.deviceNumber, slots[slot].number);
    EXPECT_EQ(drive.Serial(), slots[slot].serial);
    EXPECT_EQ(drive.errorText, slots[slot].errorText);
    EXPECT_EQ(drive.attributeCount, slots[slot].attributes) << int{slot};
  }
  ASSERT_EQ(table.Drive(4).nvmeHealth.size(), 17u);
  EXPECT_EQ(table.Drive(4).nvmeHealth[1].value, "50");  // the emulated controller's 323 K
  EXPECT_TRUE(table.Drive(5).nvmeHealth.empty());
  ExpectRequestsOf(drives);
}

// Each failure reaches the program as the error number Wine maps the driver's NTSTATUS to.
TEST(TestDiskDriver, EachFailureCarriesTheMappedErrorNumber) {
  const struct {
    Call call;
    std::uint32_t status;
    const char* message;    // on the console
    const char* errorText;  // of the drive, when it is registered
    bool nvme = false;
  } cases[] = {
      {Call::kOpen, 0xC0000034, "can't open device %s  (Error 2)", nullptr},
      {Call::kDeviceNumber, 0xC00000BB, "can't get device number %s  (Error 50)", nullptr},
      {Call::kVersion, 0xC0000185, "", "Get device VERSION error 1117"},
      {Call::kEnable, 0xC00000A3, "", "Error 21 in reading SMART Enabled flag"},
      {Call::kIdentify, 0xC0000010, "", "Error 1 in reading basic SMART data"},
      // STATUS_IO_TIMEOUT: a drive that times out is sent nothing more.
      {Call::kReadData, 0xC00000B5, "",
       "Error 121 reading detailed SMART dataError 121 reading thresholds SMART data"},
      {Call::kReadThresholds, 0xC000009A, "", "Error 1450 reading thresholds SMART data"},
      // A bus type that cannot be had leaves the drive on the ATA road, unharmed.
      {Call::kBusType, 0xC0000010, "", ""},
      {Call::kBusType, 0xC0000010, "", "", true},
      {Call::kNvmeIdentify, 0xC0000010, "", "Error 1 in reading basic SMART data", true},
      {Call::kNvmeHealth, 0xC00000B5, "", "Error 121 reading detailed SMART data", true},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.errorText ? each.errorText : each.message);
    auto drives = HealthyDrives();
    drives[1].deviceNumber = 257;
    if (each.nvme) drives[1] = {"nvme0", 257, 0, Call::kNone, 0, 0, true};
    drives[1].failing = each.call;
    drives[1].status = each.status;
    SetUpTestDisks(drives);
    WindowsDiskSystem disks;
    Console console;
    DriveTable table;
    ASSERT_TRUE(table.EnumerateDrives(disks, console));
    char message[200];
    std::snprintf(message, sizeof message, each.message, DriverInterfacePath(1).c_str());
    EXPECT_EQ(console.Text(), message);
    ASSERT_EQ(table.DriveCount(), each.errorText ? kTestDiskDevices : kTestDiskDevices - 1);
    if (each.errorText) {
      EXPECT_EQ(table.Drive(1).errorText, each.errorText);
    }
    ExpectRequestsOf(drives);
  }
}

// A reply whose descriptor does not describe the data asked for is not read: ERROR_INVALID_DATA.
TEST(TestDiskDriver, NvmeRepliesAreReadOnlyWhenTheirDescriptorFits) {
  auto drives = HealthyDrives();
  drives[2] = {"nvme0", 2, 0, Call::kNone, 0, 0, true, true};
  SetUpTestDisks(drives);
  WindowsDiskSystem disks;
  Console console;
  DriveTable table;
  ASSERT_TRUE(table.EnumerateDrives(disks, console));
  ASSERT_EQ(table.DriveCount(), kTestDiskDevices);
  EXPECT_EQ(table.Drive(2).errorText,
            "Error 13 in reading basic SMART dataError 13 reading detailed SMART data");
  EXPECT_EQ(table.Drive(2).Serial(), "");
  EXPECT_TRUE(table.Drive(2).nvmeHealth.empty());
  ExpectRequestsOf(drives);
}

// --no-wake through the ATA pass-through: a drive in standby (either mode) is sent nothing more,
// one that is idle or whose mode cannot be had is read as usual, an NVMe drive is not asked.
TEST(TestDiskDriver, SleepingDrivesAreLeftAsleep) {
  auto drives = HealthyDrives();
  drives[0].powerMode = 0x00;
  drives[1].powerMode = 0x01;
  drives[2].powerMode = 0x80;
  drives[3].failing = Call::kPowerMode;
  drives[3].status = 0xC0000185;  // STATUS_IO_DEVICE_ERROR
  drives[4] = {"nvme0", 4, 0, Call::kNone, 0, 0, true};
  SetUpTestDisks(drives);
  WindowsDiskSystem disks;
  Console console;
  DriveTable table;
  ASSERT_TRUE(table.EnumerateDrives(disks, console, {.leaveAsleep = true}));
  ASSERT_EQ(table.DriveCount(), kTestDiskDevices);
  for (std::size_t slot = 0; slot < kTestDiskDevices; ++slot) {
    const DriveRecord& drive = table.Drive(slot);
    EXPECT_EQ(drive.asleep, slot <= 1) << slot;
    EXPECT_EQ(drive.errorText, "") << slot;
    EXPECT_EQ(drive.Serial().empty(), slot <= 1) << slot;
  }
  ExpectRequestsOf(drives, {.leaveAsleep = true});
}

// RETURN STATUS through SMART_SEND_DRIVE_COMMAND: the IDEREGS after the reply record decide.
TEST(TestDiskDriver, StatusRegistersTable) {
  const struct {
    AtaRegisters reply;
    bool fails;
    SmartStatus status;
  } cases[] = {
      {{0, 0, 0, 0x4F, 0xC2, 0xA0, 0x50}, false, SmartStatus::kPassed},
      {{0, 0, 0, 0xF4, 0x2C, 0xA0, 0x50}, false, SmartStatus::kThresholdExceeded},
      {{}, false, SmartStatus::kUnknown},  // a driver that returns no registers
      {{0, 0, 0, 0xF4, 0xC2, 0xA0, 0x50}, false, SmartStatus::kUnknown},
      {{0, 0, 0, 0x4F, 0xC2, 0xA0, 0x50}, true, SmartStatus::kUnknown},
  };
  auto drives = HealthyDrives();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    drives[i].statusReply = cases[i].reply;
    if (cases[i].fails) drives[i].failing = Call::kReturnStatus;
    drives[i].status = 0xC0000185;
  }
  SetUpTestDisks(drives);
  WindowsDiskSystem disks;
  Console console;
  DriveTable table;
  ASSERT_TRUE(table.EnumerateDrives(disks, console, {.readStatus = true}));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(table.Drive(i).smartStatus, cases[i].status) << i;
    EXPECT_EQ(table.Drive(i).errorText, "") << i;
  }
  ExpectRequestsOf(drives, {.readStatus = true});
}

// The report of `drives` read with --health through `disks`.
std::string JudgedReport(DiskSystem& disks) {
  Console console;
  DriveTable table;
  EXPECT_TRUE(table.EnumerateDrives(disks, console, {.readStatus = true}));
  JudgeDrives(table);
  auto report = Report::Create();
  report->AddDrives(table);
  return report->Render();
}

// A SATA drive behind a USB bridge, whether the bridge carries ATA PASS-THROUGH (16) or only
// (12), reads as on a SATA port; behind a bridge that carries neither it is listed with the
// bridge's identity alone;
// a SAS disk reads through its log pages. All as the fake disks of the Linux build say.
TEST(TestDiskDriver, UsbBridgesAndSasDisksReadAsOnLinux) {
  std::vector<ScenarioDrive> drives = HealthyDrives();  // sata3 and sata1 by turns
  drives[1].disk = "sata3";
  drives[1].usbPassThrough = 16;
  drives[2].usbPassThrough = 12;
  drives[3].usbPassThrough = 0;
  drives[4].sas = true;
  drives[2].statusReply = {0, 0, 0, 0xF4, 0x2C, 0xA0, 0x50};  // through the registers' sense
  SetUpTestDisks(drives);
  WindowsDiskSystem disks;
  const std::string report = JudgedReport(disks);
  FakeDiskSystem fakes = FakeDisksFor(drives);
  EXPECT_EQ(report, JudgedReport(fakes));
  EXPECT_EQ(SchemaProblems(report), "");
  // The drive on the bridge is the drive on the port, but for its path and number.
  const auto element = [&report](std::size_t device) {
    const std::size_t start = report.find(DriverInterfacePath(device));
    const std::size_t end = report.find("</drive>", start);
    return report.substr(report.find(" model=", start), end - report.find(" model=", start));
  };
  EXPECT_EQ(element(1), element(0));
  EXPECT_NE(report.find("<scsi asc=\"0\" ascq=\"0\" temperature=\"38\" drive_trip=\"65\""),
            std::string::npos);
  EXPECT_NE(report.find("id=\"3\" model=\"JMicron Tech\" serial=\"\" firmware=\"0204\">\r\n"
                        "        <health state=\"unknown\"/>"),
            std::string::npos);
  EXPECT_EQ(ReadTestDiskLog()->open_now, 0u);
}

// Intel RST in RAID mode and AMD's RAID driver: six NVMe disks, a SATA disk on port 4 that the
// controller also passes through as a disk of its own, the RAID volume, and its two members
// (sata0 on port 1, sata3 on port 3), which only the controller \\.\Scsi2: reaches.
std::vector<ScenarioDrive> RaidScenario() {
  std::vector<ScenarioDrive> drives(6, {.disk = "nvme0", .nvme = true});
  for (std::uint32_t device = 0; device < 6; ++device) drives[device].deviceNumber = device;
  drives.insert(drives.end(),
                {{"sata1", 6},
                 {.disk = "sata0", .deviceNumber = 7, .capabilities = 0, .raidVolume = true},
                 {"sata0", 0},
                 {"sata3", 0}});
  return drives;
}

// smartctl.exe, where TRELMOSS_SMARTCTL names it, reads on `device` the identity and attributes
// `record` holds.
void ExpectSmartctlReads(const std::string& device, const DriveRecord& record) {
  const std::string smartctl =
      std::getenv("TRELMOSS_SMARTCTL") ? std::getenv("TRELMOSS_SMARTCTL") : "";
  if (smartctl.empty()) return;
  const std::string out =
      RunProgram(smartctl + " -i -A " + device, smartctl.substr(0, smartctl.rfind('\\'))).output;
  SCOPED_TRACE(device + "\n" + out);
  const auto text = [](std::string_view field) {
    return std::string(field.substr(0, field.find_last_not_of(' ') + 1));
  };
  for (const std::string& line :
       {"Device Model:     " + text(record.Model()), "Serial Number:    " + text(record.Serial()),
        "Firmware Version: " + text(record.Firmware())}) {
    EXPECT_NE(out.find(line + "\r\n"), std::string::npos) << line;
  }
  for (const AttributeEntry& entry : std::span(record.attributes).first(record.attributeCount)) {
    char id[8], fields[48];
    std::snprintf(id, sizeof id, "\n%3u ", entry.id);
    std::snprintf(fields, sizeof fields, " 0x%04x   %03u   %03u   %03d ", entry.flags, entry.value,
                  entry.worst, entry.threshold);
    const std::size_t at = std::min(out.find(id), out.size());
    EXPECT_NE(out.substr(at, out.find('\n', at + 1) - at).find(fields), std::string::npos) << id;
  }
}

// In each form of the PHY table, the members are listed once each, after the disks, at their
// ports; the passed-through port is the disk of its own; the volume is not judged. Each member's
// pass-through carries the entry's own PHY, port and address, and its IDENTIFY in the FIS.
TEST(TestDiskDriver, RaidMembersAreReadThroughCsmiInEveryPhyTableForm) {
  const struct {
    unsigned form;
    std::string port3;  // the PHY and port identifiers, and the SAS address, that port 3 gets
  } forms[] = {
      {PHY_RST_9, "03ff00000003000000000000"},    {PHY_RST_14_8, "010300000003000000000000"},
      {PHY_RST_15_2, "030000000003000000000000"}, {PHY_RST_16, "030300000003000000000000"},
      {PHY_AMD, "010300000000000000000000"},
  };
  for (const auto& each : forms) {
    SCOPED_TRACE(each.form);
    std::vector<ScenarioDrive> drives = RaidScenario();
    if (each.form == PHY_AMD) drives[8].statusReply = drives[9].statusReply = {};
    SetUpTestDisks(drives, {each.form, {0, 9, 0, 10, 7, 0}});
    WindowsDiskSystem disks;
    FakeDiskSystem fakes = FakeDisksFor(drives);
    for (const unsigned port : {1u, 3u}) {
      FakeDisk& member = fakes.disks[port == 1 ? 8 : 9];
      member.name = "Scsi2: port " + std::to_string(port), member.path = "\\\\.\\" + member.name;
      member.deviceNumber = 320 + port, member.raid = RaidPlace::kMember;
    }
    EXPECT_EQ(JudgedReport(disks), JudgedReport(fakes));
    const std::string frames = ReceivedRequests(*ReadTestDiskLog(), true);
    EXPECT_NE(frames.find("99 control 0004d008 1c00000043534d49534153001e000000190000000000000088"
                          "020000" +
                          each.port3 +
                          "000000002780ec00010000a00000000001000000000000"
                          "001100000000020000" +
                          std::string(16, '0') + " 676\n"),
              std::string::npos)
        << frames;
    EXPECT_EQ(ReadTestDiskLog()->open_now, 0u);
    Console console;
    DriveTable table;
    ASSERT_TRUE(table.EnumerateDrives(disks, console, {.leaveAsleep = true}));
    for (const std::uint8_t slot : {std::uint8_t{6}, std::uint8_t{8}, std::uint8_t{9}}) {
      EXPECT_FALSE(table.Drive(slot).asleep);  // AMD's registers, all zero, are no standby
      // The driver plays the disk driver's S.M.A.R.T. codes ("s"), not the ATA pass-through of
      // IDENTIFY that smartctl tries first on a disk of its own.
      const std::string& path = table.Drive(slot).devicePath;
      ExpectSmartctlReads(slot == 6 ? "/dev/sdg:s" : "/dev/csmi2," + path.substr(16),
                          table.Drive(slot));
    }
  }
}

std::vector<std::uint8_t> Bytes(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t at = 0; at + 1 < hex.size(); at += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(at, 2), nullptr, 16)));
  }
  return bytes;
}

// The driver takes what the disk driver takes: the records without their 1-byte bBuffer at
// least, registers of a command it passes; anything less fails with Wine's mapping of the status.
TEST(TestDiskDriver, RefusesRecordsTheDiskDriverRefuses) {
  const std::string identify = SmartRequest("00020000", "0001010000a0ec00", 0);
  const std::string enable = SmartRequest("00000000", "d801014fc2a0b000", 0);
  const struct {
    std::uint32_t code;
    std::string request;
    std::size_t replySize;
    int error;  // 0: answered
  } cases[] = {
      {0x0007C088, identify.substr(0, 64), 528, 0},
      {0x0007C088, identify.substr(0, 62), 528, 87},  // STATUS_INVALID_PARAMETER
      {0x0007C088, identify, 527, 122},               // STATUS_BUFFER_TOO_SMALL
      {0x0007C088, SmartRequest("00020000", "0001010000a0a100", 0), 528, 87},
      {0x0007C084, enable, 16, 0},
      {0x0007C084, enable, 15, 122},
      {0x00074080, "", 23, 122},
      {0x002D1080, "", 11, 122},
      {0x002D1400, kBusTypeQuery, 8, 0},
      {0x002D1400, kBusTypeQuery, 7, 122},
      {0x002D1400, kNvmeIdentifyQuery, 48 + 4096,
       1},  // an ATA drive: STATUS_INVALID_DEVICE_REQUEST
  };
  SetUpTestDisks(HealthyDrives());
  const HANDLE disk =
      CreateFileA(DriverInterfacePath(0).c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(disk, INVALID_HANDLE_VALUE) << GetLastError();
  for (const auto& each : cases) {
    SCOPED_TRACE(each.request + " " + std::to_string(each.replySize));
    std::vector<std::uint8_t> request = Bytes(each.request);
    std::vector<std::uint8_t> reply(each.replySize);
    DWORD returned = 0;
    const bool answered =
        DeviceIoControl(disk, each.code, request.empty() ? nullptr : request.data(),
                        static_cast<DWORD>(request.size()), reply.data(),
                        static_cast<DWORD>(reply.size()), &returned, nullptr);
    EXPECT_EQ(answered, each.error == 0);
    EXPECT_EQ(answered ? 0 : static_cast<int>(GetLastError()), each.error);
  }
  CloseHandle(disk);
}

// trelmoss.exe itself, from a local copy with its definitions file: the report is kept for the
// byte-for-byte comparison with the one the Linux build writes for the same drives.
TEST(DriverScenario, ProgramReport) {
  const char* program = std::getenv("TRELMOSS_PROGRAM");
  ASSERT_NE(program, nullptr) << "TRELMOSS_PROGRAM names the folder of trelmoss.exe";
  const auto drives = ProgramScenario();
  SetUpTestDisks(drives);
  const std::string folder = program;
  std::string commandLine = "\"";
  commandLine.append(folder).append("\\trelmoss.exe\" ").append(kProgramScenarioArguments);
  const ProgramRun run = RunProgram(commandLine, folder);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, ProgramScenarioConsole());
  const std::string report = ReadFile(folder + "\\report.xml");
  EXPECT_NE(report.find("id=\"300\""), std::string::npos);
  EXPECT_EQ(SchemaProblems(report), "");
  KeepReportForComparison(ReadFile(folder + "\\metrics.prom"), ".prom");
  ExpectRequestsOf(drives, {.readStatus = true, .readLogs = true});
}

}  // namespace
}  // namespace trelmoss::test
