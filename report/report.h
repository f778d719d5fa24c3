// The XML report: one "drive" element per registered drive, one "attrib" element per attribute
// that the drive reported and the definitions name, for an ATA drive whose logs were read one
// "ata" element, for an NVMe drive one "nvme" element with its health log, and when the drives were
// judged one "health" element. Its bytes are fixed: CR LF line ends on every platform, four blanks
// of indentation per level.
#pragma once

#include <tinyxml2.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trelmoss {

class DriveTable;
struct AtaLogs;
struct DriveRecord;
struct HealthLogField;

class Report {
 public:
  // The document parsed from the fixed template: the declaration and an empty "smart" root.
  static std::unique_ptr<Report> Create();

  // Adds the drive elements and their attribute elements for everything in `table`.
  void AddDrives(const DriveTable& table);
  // The report file's exact bytes.
  std::string Render() const;

 private:
  Report();
  void AddDrive(const DriveTable& table, std::uint8_t slot);
  // An NVMe drive's health log or a SCSI disk's log pages, as one element of decimal fields.
  void AddLog(tinyxml2::XMLElement& drive, const char* name,
              const std::vector<HealthLogField>& fields);
  void AddAtaLogs(tinyxml2::XMLElement& drive, const AtaLogs& logs);
  void AddVerdict(tinyxml2::XMLElement& drive, const DriveRecord& record);

  tinyxml2::XMLDocument document_;
  tinyxml2::XMLElement* root_ = nullptr;
};

// Attribute text as the report carries it: control bytes other than tab, line feed and carriage
// return, and the byte 0x98 that windows-1251 leaves undefined, become '?', so that every report
// parses. All other bytes pass unchanged.
std::string ReportSafeText(std::string_view text);

}  // namespace trelmoss
