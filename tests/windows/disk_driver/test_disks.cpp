#include "tests/windows/disk_driver/test_disks.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "tests/captured_sectors.h"
#include "tests/report_checks.h"

namespace trelmoss::test {
namespace {

bool ControlTestDisks(DWORD code, void* input, DWORD inputSize, void* output, DWORD outputSize) {
  const HANDLE control = CreateFileA(TEST_DISK_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE, 0,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
  if (control == INVALID_HANDLE_VALUE) return false;
  DWORD returned = 0;
  const bool answered =
      DeviceIoControl(control, code, input, inputSize, output, outputSize, &returned, nullptr);
  CloseHandle(control);
  return answered;
}

void CopyCaptured(unsigned char* to, std::size_t size, const std::string& name) {
  const std::vector<std::uint8_t>& bytes = CapturedBytes(name);
  ASSERT_EQ(bytes.size(), size) << name;
  std::memcpy(to, bytes.data(), size);
}

// The bus types the storage stack reports: SATA for the ATA drives.
constexpr unsigned kBusTypeSata = 0x0B;
constexpr unsigned kBusTypeNvme = 0x11;
constexpr unsigned kBusTypeUsb = 0x07;
constexpr unsigned kBusTypeSas = 0x0A;
constexpr unsigned kBusTypeRaid = 0x08;

void PutText(unsigned char* to, std::size_t width, const std::string& text) {
  std::memset(to, ' ', width);
  std::memcpy(to, text.data(), std::min(width, text.size()));
}

// What a USB bridge or a SAS disk answers to SCSI commands.
void SetUpScsi(test_disk_drive& to, const ScenarioDrive& drive) {
  ScsiAnswers answers = SasAnswers();
  if (!drive.sas) answers.vendor = "JMicron", answers.product = "Tech", answers.revision = "0204";
  to.bus_type = drive.sas ? kBusTypeSas : kBusTypeUsb;
  to.pass_through = drive.sas ? 0u : static_cast<unsigned>(drive.usbPassThrough);
  PutText(to.inquiry + 8, 8, answers.vendor);
  PutText(to.inquiry + 16, 16, answers.product);
  PutText(to.inquiry + 32, 4, answers.revision);
  if (!drive.sas) return;
  to.serial_page[1] = 0x80;
  to.serial_page[3] = static_cast<unsigned char>(answers.serial.size());
  std::memcpy(to.serial_page + 4, answers.serial.data(), answers.serial.size());
  std::size_t page = 0;
  for (const auto& [code, bytes] : answers.logPages) {
    std::memcpy(to.log_pages[page++], bytes.data(), bytes.size());
  }
  std::memcpy(to.defects, answers.defects10.data(), answers.defects10.size());
}

}  // namespace

void SetUpTestDisks(const std::vector<ScenarioDrive>& drives,
                    const test_disk_controller& controller) {
  ASSERT_LE(drives.size(), std::size_t{TEST_DISK_DEVICES + TEST_DISK_MEMBERS});
  auto setup = std::make_unique<test_disk_setup>();
  std::memset(setup.get(), 0, sizeof *setup);
  setup->controller = controller;
  for (std::size_t device = 0; device < drives.size(); ++device) {
    test_disk_drive& to = setup->drives[device];
    const ScenarioDrive& drive = drives[device];
    to.device_number = drive.deviceNumber;
    to.capabilities = drive.capabilities;
    if (drive.failing != DriverCall::kNone) {
      to.fail[static_cast<int>(drive.failing)] = static_cast<int>(drive.status);
    }
    to.bus_type = drive.nvme ? kBusTypeNvme : drive.raidVolume ? kBusTypeRaid : kBusTypeSata;
    if (drive.sas || drive.usbPassThrough >= 0) SetUpScsi(to, drive);
    to.nvme_short_data = drive.shortNvmeData;
    to.power_mode = drive.powerMode;
    const AtaRegisters& status = drive.statusReply;
    const unsigned char registers[8] = {
        status.features,     status.sectorCount, status.sectorNumber, status.cylinderLow,
        status.cylinderHigh, status.driveHead,   status.command,      0};
    std::memcpy(to.status_registers, registers, sizeof registers);
    if (drive.sas) {
      // its answers are all in its SCSI setup
    } else if (drive.nvme) {
      CopyCaptured(to.nvme_identify, sizeof to.nvme_identify, drive.disk + ".identify");
      CopyCaptured(to.nvme_health, sizeof to.nvme_health, drive.disk + ".health");
    } else {
      CopyCaptured(to.identify, sizeof to.identify, drive.disk + ".identify");
      CopyCaptured(to.data, sizeof to.data, drive.disk + ".data");
      CopyCaptured(to.thresholds, sizeof to.thresholds, drive.disk + ".thresholds");
    }
  }
  ASSERT_TRUE(ControlTestDisks(TEST_DISK_CONFIGURE, setup.get(), sizeof *setup, nullptr, 0))
      << "the test disk driver's control device did not answer: " << GetLastError();
}

std::unique_ptr<test_disk_log> ReadTestDiskLog() {
  auto log = std::make_unique<test_disk_log>();
  std::memset(log.get(), 0, sizeof *log);
  EXPECT_TRUE(ControlTestDisks(TEST_DISK_READ_LOG, nullptr, 0, log.get(), sizeof *log))
      << GetLastError();
  return log;
}

ProgramRun RunProgram(const std::string& commandLine, const std::string& folder) {
  const std::string outputPath = folder + "\\stdout.txt";
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  const HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ProgramRun run;
  if (output == INVALID_HANDLE_VALUE) return run;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION process{};
  std::string line = commandLine;
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                     &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    run.status = static_cast<int>(status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(output);
  run.output = ReadFile(outputPath);
  for (std::size_t at; (at = run.output.find("\r\r\n")) != std::string::npos;) {
    run.output.erase(at, 1);
  }
  return run;
}

}  // namespace trelmoss::test
