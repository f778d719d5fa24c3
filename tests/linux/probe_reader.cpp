// On Linux the probe asks our own reader in full, and the program's, which keeps only what the
// definitions loader asks for.
#include "tests/ini_diff/probe_reader.h"

#include "model/definitions.h"
#include "tests/ini_document.h"
#include "tests/report_checks.h"

namespace trelmoss::test {

std::unique_ptr<IniReader> OpenProbeReader(const std::string& path) {
  return std::make_unique<IniDocument>(ReadFile(path));
}

std::unique_ptr<DefinitionsFile> OpenProgramReader(const std::string& path) {
  return OpenDefinitionsFile(path);
}

}  // namespace trelmoss::test
