// The readers the differential probe asks, picked by platform.
#pragma once

#include <memory>
#include <string>

#include "tests/ini_reader.h"

namespace trelmoss::test {

// A reader that answers every lookup as the profile functions do: on Windows those functions
// themselves, on Linux our own reader.
std::unique_ptr<IniReader> OpenProbeReader(const std::string& path);
// The program's own reader of the definitions file, where it can be compared with that one.
std::unique_ptr<DefinitionsFile> OpenProgramReader(const std::string& path);

}  // namespace trelmoss::test
