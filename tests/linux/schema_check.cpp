#include <cstdlib>

#include "tests/report_checks.h"

namespace trelmoss::test {

std::string SchemaProblems(const std::string& reportBytes) {
  KeepReportForComparison(reportBytes);
  const TempDir folder;
  WriteFile(folder.File("report.xml"), reportBytes);
  const std::string command = "xmllint --noout --schema '" TRELMOSS_SCHEMA_PATH "' '" +
                              folder.File("report.xml") + "' 2>'" + folder.File("errors") + "'";
  const int status = std::system(command.c_str());
  if (status == 0) return {};
  return "xmllint exit " + std::to_string(status) + ": " + ReadFile(folder.File("errors"));
}

}  // namespace trelmoss::test
