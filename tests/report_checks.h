// Checks every report a test produces must pass: it parses with a conforming XML parser
// (libxml2's xmllint) and validates against the project's schema. With TRELMOSS_REPORT_DUMP set,
// every checked report is also kept in that folder, named after its test, so that the reports of
// the Linux and the Windows build can be compared byte for byte.
#pragma once

#include <string>
#include <string_view>

namespace trelmoss::test {

// Empty when `reportBytes` is a well-formed report valid against the schema; otherwise
// xmllint's complaint.
std::string SchemaProblems(const std::string& reportBytes);
// Kept as "SUITE.TEST.N" with `extension`.
void KeepReportForComparison(const std::string& reportBytes, const char* extension = ".xml");

// A temporary folder removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
// Two lower-case hexadecimal digits a byte.
std::string Hex(std::string_view bytes);
std::size_t EntriesIn(const std::string& folder);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace trelmoss::test
