// A whole run over the scripted fake disks, with the number of disks, every failure, every
// error number, every reply's length and every sector chosen by the input; SAS disks with any
// log pages, sense and defect headers; any registers from RETURN STATUS; with or without the
// verdict.
#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "app/run.h"
#include "model/console.h"
#include "model/drive_table.h"
#include "tests/fake_disks.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/report_invariants.h"
#include "tests/whole_run.h"

namespace {

using trelmoss::test::FakeDisk;
using trelmoss::test::Step;

FakeDisk FuzzedDisk(trelmoss::fuzz::FuzzInput& input, int index) {
  FakeDisk disk;
  disk.path = "/dev/disk" + std::to_string(index) + ":" + input.Text(8);
  disk.deviceNumber = input.Word();
  const std::uint8_t faults = input.Byte();
  if (faults & 1) disk.openError = static_cast<int>(input.Word());
  if (faults & 2) disk.numberError = static_cast<int>(input.Word());
  disk.detailFails = (faults & 4) != 0;
  disk.smartCommands = (input.Word() & 4) != 0;
  for (const Step step :
       {Step::kVersion, Step::kEnable, Step::kIdentify, Step::kReadData, Step::kReadThresholds}) {
    const std::uint8_t choice = input.Byte();
    if (choice & 1) disk.failures[step] = static_cast<int>(input.Word());
    if (choice & 2) disk.replyLimits[step] = input.Word() % 600;
  }
  input.Fill(disk.identify);
  input.Fill(disk.attributes);
  input.Fill(disk.thresholds);
  disk.statusReply = {0, 0, 0, input.Byte(), input.Byte(), 0, input.Byte()};
  if (faults & 8) {
    disk.bus = trelmoss::DiskBus::kScsi;
    std::array<std::uint8_t, 64> bytes{};
    for (const int page : {0x2F, 0x0D, 0x0E, 0x15, 0x03}) {
      input.Fill(bytes);
      if ((faults & 16) == 0) bytes[0] = static_cast<std::uint8_t>(page);  // the page asked for
      disk.scsi.logPages[static_cast<std::uint8_t>(page)].assign(bytes.begin(), bytes.end());
    }
    input.Fill(bytes);
    disk.scsi.requestSense.assign(bytes.begin(), bytes.begin() + 18);
    disk.scsi.defects10.assign(bytes.begin() + 18, bytes.begin() + 22);
    disk.scsi.defects12.assign(bytes.begin() + 22, bytes.begin() + 30);
    disk.scsi.unitAttention = (faults & 32) != 0;
  }
  return disk;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace trelmoss;
  fuzz::FuzzInput input(data, size);
  test::WholeRun run;
  const bool judge = (input.Byte() & 1) != 0;
  const int count = input.Byte() % 40;
  for (int i = 0; i < count; ++i) run.disks.disks.push_back(FuzzedDisk(input, i));
  run.definitions =
      "[General]\nMax Attributes=3\n[Attrib0]\nId=1\nName=a\n[Attrib1]\nId=9\nName=b\n"
      "[Attrib2]\nId=194\nName=c\n";
  const test::FakeDiskSystem& disks = run.disks;
  const std::vector<std::string> args =
      judge ? std::vector<std::string>{"trelmoss", "--health", "out.xml"}
            : std::vector<std::string>{"trelmoss", "out.xml"};
  // The registered drives' handles are open while they are read side by side, and one more
  // while a disk that cannot be numbered is looked at; every one is closed in the end.
  if (run(args) != kStatusReportWritten || !disks.unexpected.empty() || disks.openHandles != 0 ||
      disks.mostOpenHandles > static_cast<int>(kMaxDrives) + 1 || disks.listOpen) {
    __builtin_trap();
  }
  fuzz::RequireSoundReport(run.written["out.xml"]);
  return 0;
}
