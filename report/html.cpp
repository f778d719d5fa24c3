#include "report/html.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "ini/ini_encoding.h"
#include "model/drive_table.h"
#include "report/ata_log_fields.h"
#include "report/health_words.h"
#include "report/report.h"

namespace trelmoss {
namespace {

// Nothing may be fetched and nothing run: the policy holds even where a text slipped through.
constexpr const char* kHead =
    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
    "style-src 'unsafe-inline'\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";

// The state is told by its word and its colour together, never by colour alone.
constexpr const char* kStyle = R"(<style>
body{font:15px/1.4 system-ui,sans-serif;margin:0 auto;max-width:60em;padding:1em;color:#222}
h1{font-size:1.5em;margin:0 0 .2em}h2{font-size:1.15em;margin:0;overflow-wrap:anywhere}
.run{color:#555;margin:0 0 1em}.drive{border:1px solid #ccc;border-radius:6px;margin:1em 0;
padding:.8em 1em;break-inside:avoid}.badge{display:inline-block;border-radius:4px;
padding:0 .5em;font-weight:bold;border:1px solid}.good{background:#e3f4e3;color:#185c18}
.warning{background:#fff3d6;color:#7a4d00}.failing{background:#fbe0e0;color:#8f1414}
.unknown,.asleep{background:#eee;color:#444}dl{display:grid;grid-template-columns:max-content 1fr;
gap:.1em 1em;margin:.6em 0}dt{color:#555}dd{margin:0;overflow-wrap:anywhere}
.error{color:#8f1414;overflow-wrap:anywhere}table{border-collapse:collapse;width:100%}
.scroll{overflow-x:auto}th,td{text-align:right;padding:.15em .5em;border-bottom:1px solid #eee}
th:nth-child(2),td:nth-child(2),td:last-child{text-align:left}tr.low td{background:#fbe0e0}
.bar{position:relative;width:8em;height:.8em;background:#eee;display:inline-block}
.bar span{position:absolute;top:0;bottom:0;left:0;background:#6a9be0}
.bar i{position:absolute;top:-.15em;bottom:-.15em;width:2px;background:#8f1414}
@media (max-width:40em){body{padding:.5em}.drive{padding:.6em}th,td{padding:.15em .25em}
.bar{width:3em}}
@media print{body{max-width:none}.drive{border-color:#999}}
</style>
</head>
)";

inline constexpr int kHighestRating = 253;
constexpr const char* kCelsius = " &#176;C";

std::string Number(std::uint64_t value) { return std::to_string(value); }

// "2026-12-08 23:46:51 UTC", the same from every platform.
std::string TimeText(double seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  const std::tm* utc = std::gmtime(&time);
  if (utc == nullptr) return "";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", utc);
  return text;
}

const char* KindOf(const DriveRecord& drive) {
  if (drive.raid == RaidPlace::kVolume) return "RAID volume (its disks are listed on their own)";
  if (drive.raid == RaidPlace::kMember) {
    return drive.scsi ? "SAS or SCSI, behind a RAID controller" : "ATA, behind a RAID controller";
  }
  return drive.nvme ? "NVMe" : drive.scsi ? "SAS or SCSI" : "ATA";
}

// A figure the program made: its value is markup, numbers and units.
struct Figure {
  const char* label;
  std::string value;
};

const HealthLogField* FieldOf(const std::vector<HealthLogField>& fields, std::string_view name) {
  for (const HealthLogField& field : fields) {
    if (field.name == name) return &field;
  }
  return nullptr;
}

void AddField(std::vector<Figure>& figures, const std::vector<HealthLogField>& fields,
              const char* label, std::string_view name, const char* unit) {
  if (const HealthLogField* field = FieldOf(fields, name)) {
    figures.push_back({label, field->value + unit});
  }
}

// A count the verdict trusts is at most 65535; above it vendors pack other fields (or seconds)
// into the raw value, which is then shown as the drive's own, not as a count.
constexpr std::uint64_t kLargestCount = 65535;

std::string RawVendorValue(std::uint64_t raw) {
  char text[40];
  std::snprintf(text, sizeof text, "raw vendor value %012llXh",
                static_cast<unsigned long long>(raw));
  return text;
}

void AddAttribute(std::vector<Figure>& figures, const DriveTable& table, std::uint8_t slot,
                  const char* label, std::uint8_t id, std::uint64_t mask, const char* unit) {
  if (const AttributeEntry* entry = table.FindAttribute(slot, id)) {
    const std::uint64_t value = entry->wholeRaw & mask;
    figures.push_back({label, value > kLargestCount && *unit == '\0'
                                  ? RawVendorValue(entry->wholeRaw)
                                  : Number(value) + unit});
  }
}

std::string WearBar(std::uint64_t percent) {
  return "<span class=\"bar\"><span style=\"width:" +
         Number(std::min<std::uint64_t>(percent, 100)) + "%\"></span></span> " + Number(percent) +
         "%";
}

std::string Signed(std::int8_t value) { return std::to_string(int{value}); }

// The temperature against the drive's own maximum, where it gives one.
std::string TemperatureAgainstLimit(const AtaLogs& logs) {
  std::string text = Signed(*logs.temperature) + kCelsius;
  if (!logs.maxOperatingTemperature) return text;
  text += " (limit " + Signed(*logs.maxOperatingTemperature) + kCelsius + ")";
  if (*logs.temperature > *logs.maxOperatingTemperature) text += " above its limit";
  return text;
}

// The Device Statistics in the standard's units first; the attributes where the drive gave none.
void AtaHeadlines(std::vector<Figure>& figures, const DriveTable& table, const DriveRecord& drive) {
  constexpr std::uint64_t kLowByte = 0xFF, kLow32 = 0xFFFFFFFF, kAll = ~0ull;
  const AtaLogs& logs = drive.ataLogs;
  if (logs.temperature) {
    figures.push_back({"Temperature", TemperatureAgainstLimit(logs)});
  } else {
    const std::uint8_t temperature = table.FindAttribute(drive.slot, 194) ? 194 : 190;
    AddAttribute(figures, table, drive.slot, "Temperature", temperature, kLowByte, kCelsius);
  }
  if (logs.powerOnHours) {
    figures.push_back({"Power-on hours", Number(*logs.powerOnHours)});
  } else {
    AddAttribute(figures, table, drive.slot, "Power-on hours", 9, kLow32, "");
  }
  if (logs.percentageUsed) figures.push_back({"Life used", WearBar(*logs.percentageUsed)});
  if (logs.sectorsWritten) figures.push_back({"Sectors written", Number(*logs.sectorsWritten)});
  AddAttribute(figures, table, drive.slot, "Reallocated sectors", 5, kAll, "");
  AddAttribute(figures, table, drive.slot, "Pending sectors", 197, kAll, "");
  AddAttribute(figures, table, drive.slot, "Offline uncorrectable", 198, kAll, "");
  if (logs.errorCount) figures.push_back({"Errors logged", Number(*logs.errorCount)});
}

// What a person looks at first, from whatever the drive gave.
std::vector<Figure> Headlines(const DriveTable& table, const DriveRecord& drive) {
  std::vector<Figure> figures;
  if (drive.nvme) {
    const auto& log = drive.nvmeHealth;
    AddField(figures, log, "Temperature", "temperature", kCelsius);
    AddField(figures, log, "Power-on hours", "power_on_hours", "");
    if (const HealthLogField* used = FieldOf(log, "percentage_used")) {
      figures.push_back({"Life used", WearBar(std::strtoull(used->value.c_str(), nullptr, 10))});
    }
    const HealthLogField* spare = FieldOf(log, "available_spare");
    const HealthLogField* threshold = FieldOf(log, "available_spare_threshold");
    if (spare && threshold) {
      figures.push_back(
          {"Available spare", spare->value + "% (threshold " + threshold->value + "%)"});
    }
    AddField(figures, log, "Media errors", "media_errors", "");
    AddField(figures, log, "Critical warning", "critical_warning", "");
  } else if (drive.scsi) {
    const auto& log = drive.scsiHealth;
    AddField(figures, log, "Temperature", "temperature", kCelsius);
    AddField(figures, log, "Grown defects", "scsi_grown_defect_list", "");
    if (const HealthLogField* asc = FieldOf(log, "asc")) {
      figures.push_back({"Failure prediction", asc->value == "93" ? "failure predicted" : "none"});
    }
  } else {
    AtaHeadlines(figures, table, drive);
  }
  return figures;
}

std::string FigureOf(const std::vector<Figure>& figures, std::string_view label) {
  for (const Figure& figure : figures) {
    if (label == figure.label) return figure.value;
  }
  return "";
}

class Page {
 public:
  void Add(std::string_view markup) { out_ += markup; }
  void AddText(std::string_view windows1251) { out_ += HtmlText(windows1251); }
  void Summary(const DriveTable& table);
  void Overview(const DriveTable& table);
  void Drive(const DriveTable& table, const DriveRecord& drive);
  const std::string& Text() const { return out_; }

 private:
  void Attributes(const DriveTable& table, const DriveRecord& drive);
  void SelfTests(const DriveRecord& drive);
  void Term(const char* label, std::string_view windows1251) {
    Add("<dt>");
    Add(label);
    Add("</dt><dd>");
    AddText(windows1251);
    Add("</dd>\n");
  }

  std::string out_;
};

void Page::Summary(const DriveTable& table) {
  int counts[std::size(kHealthStates)] = {};
  bool judged = false;
  for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) {
    const auto& health = table.Drive(slot).health;
    if (health) ++counts[static_cast<int>(health->state)], judged = true;
  }
  if (!judged) return;
  Add("<p class=\"summary\">");
  for (const HealthState state : kHealthStates) {
    const char* name = HealthStateName(state);
    Add(state == HealthState::kGood ? "" : " ");
    Add("<span class=\"badge " + std::string(name) + "\">" +
        std::to_string(counts[static_cast<int>(state)]) + " " + name + "</span>");
  }
  Add("</p>\n");
}

// One row a drive, so that a machine of many disks is taken in at a glance.
void Page::Overview(const DriveTable& table) {
  if (table.DriveCount() == 0) return;
  Add("<div class=\"scroll\"><table class=\"overview\">\n<tr><th>Device</th><th>Model</th>"
      "<th>State</th><th>Temperature</th><th>Power-on hours</th><th>Wear</th></tr>\n");
  for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) {
    const DriveRecord& drive = table.Drive(slot);
    const std::vector<Figure> figures = Headlines(table, drive);
    Add("<tr><td>");
    AddText(drive.devicePath);
    Add("</td><td>");
    AddText(drive.Model());
    Add(std::string("</td><td>") + (drive.health ? HealthStateName(drive.health->state) : "") +
        "</td><td>" + FigureOf(figures, "Temperature") + "</td><td>" +
        FigureOf(figures, "Power-on hours") + "</td><td>" + FigureOf(figures, "Life used") +
        "</td></tr>\n");
  }
  Add("</table></div>\n");
}

void Page::Drive(const DriveTable& table, const DriveRecord& drive) {
  const char* state = drive.health ? HealthStateName(drive.health->state) : "";
  Add("<section class=\"drive\" data-state=\"" + std::string(state) + "\">\n<h2>");
  if (drive.health) Add("<span class=\"badge " + std::string(state) + "\">" + state + "</span> ");
  AddText(drive.Model().empty() ? std::string_view("(no model)") : drive.Model());
  Add(" <small>");
  AddText(drive.devicePath);
  Add("</small></h2>\n");
  if (drive.health && !drive.health->reasons.empty()) {
    Add("<ul class=\"reasons\">\n");
    for (const HealthReason& reason : drive.health->reasons) {
      Add("<li>" + HtmlText(ReasonInWords(reason)) + "</li>\n");
    }
    Add("</ul>\n");
  }
  Add("<dl>\n");
  Term("Model", drive.Model());
  Term("Serial", drive.Serial());
  Term("Firmware", drive.Firmware());
  Term("Device", drive.devicePath);
  Term("Kind", KindOf(drive));
  if (drive.asleep) Term("Power", "standby: left asleep, not read");
  for (const Figure& figure : Headlines(table, drive)) {
    Add(std::string("<dt>") + figure.label + "</dt><dd>" + figure.value + "</dd>\n");
  }
  Add("</dl>\n");
  if (!drive.errorText.empty()) {
    Add("<p class=\"error\">Error: ");
    AddText(drive.errorText);
    Add("</p>\n");
  }
  SelfTests(drive);
  Attributes(table, drive);
  Add("</section>\n");
}

// The newest entries of the self-test log, how each ended in words.
void Page::SelfTests(const DriveRecord& drive) {
  constexpr std::size_t kShown = 5;
  constexpr const char* kResults[] = {"passed",         "aborted",      "interrupted",
                                      "not completed",  "failed",       "failed (electrical)",
                                      "failed (servo)", "read failure", "failed (handling)"};
  const auto& log = drive.ataLogs.selfTests;
  if (!log || log->empty()) return;
  Add("<div class=\"scroll\"><table class=\"selftests\">\n<tr><th>Hours</th><th>Self-test</th>"
      "<th>Result</th><th>First error LBA</th></tr>\n");
  for (std::size_t at = 0; at < std::min(kShown, log->size()); ++at) {
    const SelfTestEntry& entry = (*log)[at];
    const std::size_t result = entry.status >> 4;
    const bool failed = SelfTestFailed(entry.status);
    Add(std::string(failed ? "<tr class=\"low\">" : "<tr>") + "<td>" + Number(entry.hours) +
        "</td><td>" + SelfTestKindName(entry.type) + "</td><td>" +
        (result < std::size(kResults) ? kResults[result] : "in progress or unknown") + "</td><td>" +
        (failed ? Number(entry.firstErrorLba) : "") + "</td></tr>\n");
  }
  Add("</table></div>\n");
}

bool IsRating(int value) { return value >= 1 && value <= kHighestRating; }

// Every attribute the drive gave (for a repeated id the later, as the report keeps it), its
// value drawn as a bar on the scale of 100 or of its highest number, its threshold as a mark.
void Page::Attributes(const DriveTable& table, const DriveRecord& drive) {
  const AttributeIndex& index = table.Index();
  const auto end = index.lower_bound(AttributeKey(drive.slot + 1u, 0));
  auto at = index.lower_bound(AttributeKey(drive.slot, 0));
  if (at == end) return;
  Add("<div class=\"scroll\"><table class=\"attributes\">\n<tr><th>ID</th><th>Name</th>"
      "<th>Value</th><th>Worst</th><th>Threshold</th><th>Raw</th><th></th></tr>\n");
  for (; at != end; ++at) {
    const AttributeEntry& entry = *at->second;
    const AttributeDefinition* definition = table.FindDefinition(entry.id);
    const bool low =
        IsRating(entry.threshold) && IsRating(entry.value) && entry.value <= entry.threshold;
    Add(low ? "<tr class=\"low\">" : "<tr>");
    Add("<td>" + Number(entry.id) + "</td><td>");
    AddText(definition ? std::string_view(definition->name) : std::string_view());
    Add("</td><td>" + Number(entry.value) + "</td><td>" + Number(entry.worst) + "</td><td>" +
        (entry.threshold < 0 ? std::string()
                             : Number(static_cast<std::uint64_t>(entry.threshold))) +
        "</td><td>" + Number(entry.wholeRaw) + "</td><td>");
    if (IsRating(entry.value)) {
      const int scale = std::max({100, int{entry.value}, int{entry.worst}, int{entry.threshold}});
      Add("<span class=\"bar\"><span style=\"width:" + Number(entry.value * 100u / scale) +
          "%\">"
          "</span>");
      if (IsRating(entry.threshold)) {
        Add("<i style=\"left:" + Number(static_cast<std::uint64_t>(entry.threshold) * 100 / scale) +
            "%\"></i>");
      }
      Add("</span>");
    }
    Add(low ? " at or below threshold</td></tr>\n" : "</td></tr>\n");
  }
  Add("</table></div>\n");
}

}  // namespace

std::string HtmlText(std::string_view windows1251) {
  std::string out;
  for (const char c : Windows1251ToUtf8(ReportSafeText(windows1251))) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string RenderHtml(const DriveTable& table, const PageContext& context) {
  Page page;
  page.Add(kHead);
  page.Add("<title>Disks of ");
  page.AddText(context.hostName);
  page.Add("</title>\n");
  page.Add(kStyle);
  page.Add("<body>\n<h1>Disks of ");
  page.AddText(context.hostName);
  page.Add("</h1>\n<p class=\"run\">Read " + TimeText(context.runTime) +
           " by Trelmoss v1.1: " + std::to_string(table.DriveCount()) + " drives</p>\n");
  page.Summary(table);
  page.Overview(table);
  for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) {
    page.Drive(table, table.Drive(slot));
  }
  page.Add("</body>\n</html>\n");
  return page.Text();
}

}  // namespace trelmoss
