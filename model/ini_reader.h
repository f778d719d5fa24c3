// Read access to an INI file with the semantics of the Windows profile functions. The Windows
// build asks those functions; elsewhere our own reader answers (model/ini_parser.h).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trelmoss {

// Longest string value handed out: what fits a 1024-byte buffer with its terminating NUL.
inline constexpr std::size_t kMaxIniString = 1023;

class IniReader {
 public:
  virtual ~IniReader() = default;
  // The key's integer value, or `fallback` when the file, section, key or value is missing.
  virtual int GetInt(std::string_view section, std::string_view key, int fallback) const = 0;
  // The key's text cut to kMaxIniString bytes, or "" when missing.
  virtual std::string GetString(std::string_view section, std::string_view key) const = 0;
  // The names of the sections present, in file order.
  virtual std::vector<std::string> SectionNames() const = 0;
};

// The platform's reader of the definitions file at `path`, answering the definitions loader's
// lookups (on Linux only those: model/definitions_digest.h); a missing file reads as an empty one.
std::unique_ptr<IniReader> OpenIniFile(const std::string& path);

}  // namespace trelmoss
