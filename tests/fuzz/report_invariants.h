// What every report must be, whatever went into it: the declaration first, CR LF line ends, no
// byte the declared encoding or XML forbids, and a document that parses. A violation aborts, so
// that the fuzzer records the input.
#pragma once

#include <string>

namespace trelmoss::fuzz {

void RequireSoundReport(const std::string& report);

}  // namespace trelmoss::fuzz
