#include "report/report.h"

#include <algorithm>

#include "model/drive_table.h"
#include "report/ata_log_fields.h"

namespace trelmoss {
namespace {

constexpr const char* kTemplate =
    "<?xml version=\"1.0\" encoding=\"windows-1251\" ?><smart></smart>";

bool IsUnsafeByte(unsigned char c) {
  const bool control = c >= 0x01 && c <= 0x1F && c != '\t' && c != '\n' && c != '\r';
  return control || c == 0x98;
}

void SetText(tinyxml2::XMLElement& element, const char* name, std::string_view text) {
  element.SetAttribute(name, ReportSafeText(text).c_str());
}

// The printer ends lines with LF; the report's line ends are CR LF wherever it is written,
// exactly as a Windows text stream would write every LF.
std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    out.append(text, start, end - start);
    if (end < text.size()) out += "\r\n";
    start = end + 1;
  }
  return out;
}

}  // namespace

std::string ReportSafeText(std::string_view text) {
  std::string safe(text);
  for (char& c : safe) {
    if (IsUnsafeByte(static_cast<unsigned char>(c))) c = '?';
  }
  return safe;
}

Report::Report() : document_(true, tinyxml2::PRESERVE_WHITESPACE) {}

std::unique_ptr<Report> Report::Create() {
  std::unique_ptr<Report> report(new Report());
  report->document_.Parse(kTemplate);
  report->root_ = report->document_.FirstChildElement();
  return report;
}

void Report::AddDrives(const DriveTable& table) {
  for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) AddDrive(table, slot);
}

void Report::AddDrive(const DriveTable& table, std::uint8_t slot) {
  const DriveRecord& record = table.Drive(slot);
  tinyxml2::XMLElement* drive = document_.NewElement("drive");
  SetText(*drive, "devicepath", record.devicePath);
  drive->SetAttribute("id", static_cast<unsigned>(record.deviceNumber));
  SetText(*drive, "model", record.Model());
  SetText(*drive, "serial", record.Serial());
  SetText(*drive, "firmware", record.Firmware());
  root_->InsertEndChild(drive);
  if (!record.errorText.empty()) SetText(*drive, "error", record.errorText);
  if (record.asleep) drive->SetAttribute("power", "standby");

  // The index is ordered by slot, then id: this drive's keys form one run, in ascending id.
  const AttributeIndex& index = table.Index();
  const auto end = index.lower_bound(AttributeKey(slot + 1u, 0));
  for (auto at = index.lower_bound(AttributeKey(slot, 0)); at != end; ++at) {
    const AttributeEntry* entry = at->second;
    const AttributeDefinition* definition = table.FindDefinition(entry->id);
    if (definition == nullptr) continue;
    tinyxml2::XMLElement* attrib = document_.NewElement("attrib");
    attrib->SetAttribute("id", static_cast<int>(definition->id));
    SetText(*attrib, "name", definition->name);
    attrib->SetAttribute("value", static_cast<int>(entry->value));
    attrib->SetAttribute("worst", static_cast<int>(entry->worst));
    attrib->SetAttribute("raw", static_cast<int>(entry->raw));
    attrib->SetAttribute("treshold", static_cast<int>(entry->threshold));
    drive->InsertEndChild(attrib);
  }
  AddAtaLogs(*drive, record.ataLogs);
  AddLog(*drive, "nvme", record.nvmeHealth);
  AddLog(*drive, "scsi", record.scsiHealth);
  AddVerdict(*drive, record);
}

// Only a run that judged the drives has a verdict to write.
void Report::AddVerdict(tinyxml2::XMLElement& drive, const DriveRecord& record) {
  if (!record.health) return;
  tinyxml2::XMLElement* health = document_.NewElement("health");
  health->SetAttribute("state", HealthStateName(record.health->state));
  for (const HealthReason& each : record.health->reasons) {
    tinyxml2::XMLElement* reason = document_.NewElement("reason");
    reason->SetAttribute("name", each.name);
    if (each.attribute != 0) reason->SetAttribute("attribute", static_cast<int>(each.attribute));
    reason->SetAttribute("value", std::to_string(each.value).c_str());
    health->InsertEndChild(reason);
  }
  drive.InsertEndChild(health);
}

void Report::AddLog(tinyxml2::XMLElement& drive, const char* name,
                    const std::vector<HealthLogField>& fields) {
  if (fields.empty()) return;
  tinyxml2::XMLElement* log = document_.NewElement(name);
  for (const HealthLogField& field : fields) {
    log->SetAttribute(field.name.c_str(), field.value.c_str());
  }
  drive.InsertEndChild(log);
}

// The values as attributes, the self-test log's entries, newest first, as children.
void Report::AddAtaLogs(tinyxml2::XMLElement& drive, const AtaLogs& logs) {
  if (logs.Empty()) return;
  tinyxml2::XMLElement* ata = document_.NewElement("ata");
  for (const HealthLogField& field : AtaLogFields(logs)) {
    ata->SetAttribute(field.name.c_str(), field.value.c_str());
  }
  drive.InsertEndChild(ata);
  if (!logs.selfTests) return;
  ata->SetAttribute("self_tests", static_cast<unsigned>(logs.selfTests->size()));
  for (const SelfTestEntry& entry : *logs.selfTests) {
    tinyxml2::XMLElement* test = document_.NewElement("selftest");
    test->SetAttribute("type", SelfTestKindName(entry.type));
    test->SetAttribute("status", static_cast<unsigned>(entry.status));
    test->SetAttribute("hours", static_cast<unsigned>(entry.hours));
    if (SelfTestFailed(entry.status)) {
      test->SetAttribute("lba", entry.firstErrorLba);
    }
    ata->InsertEndChild(test);
  }
}

std::string Report::Render() const {
  tinyxml2::XMLPrinter printer(nullptr, false);
  document_.Print(&printer);
  return WithCrLf(
      std::string_view(printer.CStr(), static_cast<std::size_t>(printer.CStrSize() - 1)));
}

}  // namespace trelmoss
