// The INI reader and the definitions loader on any file, followed by a report that names every
// attribute the file defines. The program's collector of the file, read in pieces, must load the
// same definitions.
#include <cstdint>
#include <string>

#include "device/ata/ata_decoders.h"
#include "model/console.h"
#include "model/definitions_collector.h"
#include "model/drive_table.h"
#include "report/report.h"
#include "tests/fuzz/report_invariants.h"
#include "tests/ini_document.h"

namespace {

using namespace trelmoss;

// The file fed in pieces whose size its length picks, so that pieces cut lines and characters.
DriveTable Collect(std::string_view file) {
  DefinitionsCollector collector;
  const std::size_t piece = 1 + file.size() % 7;
  for (std::size_t at = 0; at < file.size(); at += piece) collector.Feed(file.substr(at, piece));
  collector.Finish();
  Console console;
  return DriveTable(collector, "fuzz.ini", console);
}

void RequireSameDefinitions(const DriveTable& loaded, const DriveTable& collected) {
  if (loaded.Definitions().size() != collected.Definitions().size()) __builtin_trap();
  for (const auto& [id, definition] : loaded.Definitions()) {
    const AttributeDefinition* other = collected.FindDefinition(id);
    if (other == nullptr || other->critical != definition.critical ||
        other->name != definition.name || other->details != definition.details) {
      __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace trelmoss;
  const IniDocument ini(std::string_view(reinterpret_cast<const char*>(data), size));
  Console console;
  DriveTable table(ReaderDefinitions(ini), "fuzz.ini", console);
  for (const auto& [id, definition] : table.Definitions()) {
    if (definition.id != id || definition.name.size() > kMaxIniString) __builtin_trap();
  }
  RequireSameDefinitions(table,
                         Collect(std::string_view(reinterpret_cast<const char*>(data), size)));
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
