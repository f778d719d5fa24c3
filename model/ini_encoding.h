// The text of a definitions file as the single-byte text the profile functions hand out. A file
// that starts with a byte-order mark (UTF-8, or UTF-16 little or big endian as Notepad writes
// "Unicode") is converted to windows-1251, the encoding the report declares, with "?" for each
// character windows-1251 lacks; any other file is taken byte for byte.
#pragma once

#include <string>
#include <string_view>

namespace trelmoss {

// Whether `file` starts with one of those marks, and so needs converting.
bool HasByteOrderMark(std::string_view file);
std::string ToSingleByteText(std::string_view file);

}  // namespace trelmoss
