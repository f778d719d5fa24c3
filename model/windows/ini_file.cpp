// On Windows the definitions file is read by the system's own profile functions.
#include <windows.h>

#include <vector>

#include "model/ini_reader.h"

namespace trelmoss {
namespace {

class ProfileIniReader final : public IniReader {
 public:
  explicit ProfileIniReader(std::string path) : path_(std::move(path)) {}

  int GetInt(std::string_view section, std::string_view key, int fallback) const override {
    return static_cast<int>(GetPrivateProfileIntA(
        std::string(section).c_str(), std::string(key).c_str(), fallback, path_.c_str()));
  }

  std::string GetString(std::string_view section, std::string_view key) const override {
    char value[kMaxIniString + 1] = {};
    const DWORD length =
        GetPrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(), "", value,
                                 sizeof value, path_.c_str());
    return std::string(value, length < sizeof value ? length : kMaxIniString);
  }

  // The names come back as one buffer of NUL-terminated strings; a buffer that was too small is
  // reported by a length of its size less two, so it grows until everything fits.
  std::vector<std::string> SectionNames() const override {
    std::vector<char> buffer(4096);
    DWORD length = 0;
    for (;;) {
      length = GetPrivateProfileSectionNamesA(buffer.data(), static_cast<DWORD>(buffer.size()),
                                              path_.c_str());
      if (length + 2 < buffer.size()) break;
      buffer.resize(buffer.size() * 4);
    }
    std::vector<std::string> names;
    for (std::size_t at = 0; at < length;) {
      const std::string name(buffer.data() + at);
      at += name.size() + 1;
      if (!name.empty()) names.push_back(name);
    }
    return names;
  }

 private:
  std::string path_;
};

}  // namespace

std::unique_ptr<IniReader> OpenIniFile(const std::string& path) {
  return std::make_unique<ProfileIniReader>(path);
}

}  // namespace trelmoss
