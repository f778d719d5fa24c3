// The three sector decoders on any IDENTIFY DEVICE, READ DATA and READ THRESHOLDS data, for two
// drives, followed by the report of what they decoded.
#include <array>
#include <cstdint>

#include "device/ata/ata_decoders.h"
#include "model/drive_table.h"
#include "report/report.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/report_invariants.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace trelmoss;
  fuzz::FuzzInput input(data, size);
  DriveTable table;
  for (std::uint8_t id = 1; id != 0; ++id) table.AddDefinition({0, id, "attribute", ""});
  for (int drive = 0; drive < 2; ++drive) {
    DriveRecord& record = table.RegisterDrive(input.Text(40), input.Word());
    std::array<std::uint8_t, kSectorSize> identify{}, attributes{}, thresholds{};
    input.Fill(identify);
    input.Fill(attributes);
    input.Fill(thresholds);
    DecodeIdentity(record, identify);
    DecodeAttributes(table, record.slot, attributes);
    DecodeThresholds(table, record.slot, thresholds);
    if (record.attributeCount > 30) __builtin_trap();
    for (std::uint8_t i = 0; i < record.attributeCount; ++i) {
      const AttributeEntry& entry = record.attributes[i];
      if (entry.id == 0 || entry.raw > 0xFFFF || entry.threshold < -1 || entry.threshold > 255) {
        __builtin_trap();
      }
    }
  }
  const auto report = Report::Create();
  report->AddDrives(table);
  fuzz::RequireSoundReport(report->Render());
  return 0;
}
