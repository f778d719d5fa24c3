// The Task Scheduler definition (schema 1.2) of the hourly run: as SYSTEM at the highest level,
// on batteries too, never two at once, stopped after ten minutes.
#pragma once

#include <string>
#include <vector>

namespace trelmoss {

inline constexpr const char* kTaskName = "Trelmoss";

// One argument as Windows' command-line parsing reads it back: quoted when it holds a blank or
// a quote or is empty, with the backslashes before a quote, and before the closing one, doubled.
std::string QuotedArgument(const std::string& argument);
// The task's XML (declared UTF-16: the platform writes it so) running `program` with `arguments`.
std::string TaskXml(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace trelmoss
