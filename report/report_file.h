// Saving the report without ever losing or half-writing one: the bytes go to a temporary file
// beside the target, which replaces the target only once it is complete and flushed. A target
// that exists and is not a regular file (a terminal, a pipe, a device) is written in place.
#pragma once

#include <string>
#include <string_view>

namespace trelmoss {

// On failure `error` holds the operating system's error number and the target is untouched.
bool WriteReportFile(const std::string& path, std::string_view bytes, int& error);

// Whether the two paths lead to one file: through symbolic links, hard links, a relative and an
// absolute name, or on Windows names that differ in case or slashes.
bool NameTheSameFile(const std::string& first, const std::string& second);

}  // namespace trelmoss
