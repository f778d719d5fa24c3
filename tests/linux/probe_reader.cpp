// On Linux the probe asks our own reader in full, and the program's, which keeps only what the
// definitions loader asks for.
#include "tests/ini_diff/probe_reader.h"

#include <fstream>
#include <sstream>

#include "model/ini_document.h"

namespace trelmoss::test {

std::unique_ptr<IniReader> OpenProbeReader(const std::string& path) {
  std::ostringstream file;
  file << std::ifstream(path, std::ios::binary).rdbuf();
  return std::make_unique<IniDocument>(file.str());
}

std::unique_ptr<IniReader> OpenProgramReader(const std::string& path) { return OpenIniFile(path); }

}  // namespace trelmoss::test
