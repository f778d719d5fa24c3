// The readers the differential probe asks, picked by platform.
#pragma once

#include <memory>
#include <string>

#include "model/ini_reader.h"

namespace trelmoss::test {

// A reader that answers every lookup as the profile functions do: on Windows those functions
// themselves, on Linux our own reader.
std::unique_ptr<IniReader> OpenProbeReader(const std::string& path);
// The reader the program itself loads its definitions through, where it is not that one.
std::unique_ptr<IniReader> OpenProgramReader(const std::string& path);

}  // namespace trelmoss::test
