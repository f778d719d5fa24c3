// On Windows the definitions file is read by the system's own profile functions.
#include <windows.h>

#include <vector>

#include "model/definitions.h"

namespace trelmoss {
namespace {

// What fits a 1024-byte buffer with its terminating NUL.
constexpr DWORD kValueBuffer = 1024;

class ProfileDefinitionsFile final : public DefinitionsFile {
 public:
  explicit ProfileDefinitionsFile(std::string path) : path_(std::move(path)) {}

  int MaxAttributes() const override { return Int("General", "Max Attributes"); }

  std::vector<AttributeSection> AttributeSections(int limit) const override {
    std::vector<AttributeSection> sections;
    for (const int number : PresentAttributeSections(SectionNames(), limit)) {
      char section[32];
      wsprintfA(section, "Attrib%d", number);
      sections.push_back({Int(section, "Id"), Int(section, "Critical"), Text(section, "Name"),
                          Text(section, "Details")});
    }
    return sections;
  }

 private:
  int Int(const char* section, const char* key) const {
    return static_cast<int>(GetPrivateProfileIntA(section, key, 0, path_.c_str()));
  }

  std::string Text(const char* section, const char* key) const {
    char value[kValueBuffer] = {};
    const DWORD length =
        GetPrivateProfileStringA(section, key, "", value, sizeof value, path_.c_str());
    return std::string(value, length < sizeof value ? length : sizeof value - 1);
  }

  // The names come back as one buffer of NUL-terminated strings; a buffer that was too small is
  // reported by a length of its size less two, so it grows until everything fits.
  std::vector<std::string> SectionNames() const {
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

  std::string path_;
};

}  // namespace

std::unique_ptr<DefinitionsFile> OpenDefinitionsFile(const std::string& path) {
  return std::make_unique<ProfileDefinitionsFile>(path);
}

}  // namespace trelmoss
