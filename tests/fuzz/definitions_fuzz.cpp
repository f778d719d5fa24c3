// The INI reader and the definitions loader on any file, followed by a report that names every
// attribute the file defines.
#include <cstdint>
#include <string>

#include "device/sector_decoders.h"
#include "model/console.h"
#include "model/drive_table.h"
#include "model/ini_document.h"
#include "report/report.h"
#include "tests/fuzz/report_invariants.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace trelmoss;
  const IniDocument ini(std::string_view(reinterpret_cast<const char*>(data), size));
  Console console;
  DriveTable table(ini, "fuzz.ini", console);
  for (const auto& [id, definition] : table.Definitions()) {
    if (definition.id != id || definition.name.size() > kMaxIniString) __builtin_trap();
  }
  // One drive reporting every id, so that every defined name reaches the report.
  DriveRecord& record = table.RegisterDrive("/dev/fuzz", 0);
  for (unsigned id = 1; id <= 255; ++id) {
    AttributeEntry& entry = record.attributes[record.attributeCount++ % kMaxAttributeEntries];
    entry.id = static_cast<std::uint8_t>(id);
    table.IndexAttribute(record.slot, entry);
  }
  const auto report = Report::Create();
  report->AddDrives(table);
  fuzz::RequireSoundReport(report->Render());
  return 0;
}
