// On Windows the probe asks the system's profile functions. A plain file is read through the
// ANSI functions, as the program reads it. A file with a byte-order mark is read through the
// wide functions and converted to windows-1251 here, with "?" for what it lacks: the ANSI
// functions would convert to the machine's code page, which on a test machine need not be the
// one the report declares.
#include "tests/ini_diff/probe_reader.h"

#include <windows.h>

#include <fstream>
#include <vector>

#include "model/definitions.h"
#include "tests/ini_document.h"

namespace trelmoss::test {
namespace {

constexpr UINT kReportCodePage = 1251;

std::wstring Widen(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string ToReportCodePage(const wchar_t* text, int length) {
  if (length == 0) return {};
  const int size = WideCharToMultiByte(kReportCodePage, WC_NO_BEST_FIT_CHARS, text, length, nullptr,
                                       0, "?", nullptr);
  std::string converted(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(kReportCodePage, WC_NO_BEST_FIT_CHARS, text, length, converted.data(), size,
                      "?", nullptr);
  return converted;
}

class AnsiProfileReader final : public IniReader {
 public:
  explicit AnsiProfileReader(std::string path) : path_(std::move(path)) {}

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

  // A buffer that was too small is reported by a length of its size less two.
  std::vector<std::string> SectionNames() const override {
    std::vector<char> buffer(4096);
    DWORD length = 0;
    while ((length = GetPrivateProfileSectionNamesA(
                buffer.data(), static_cast<DWORD>(buffer.size()), path_.c_str())) +
               2 >=
           buffer.size()) {
      buffer.resize(buffer.size() * 4);
    }
    std::vector<std::string> names;
    for (DWORD at = 0; at < length;) {
      names.emplace_back(buffer.data() + at);
      at += static_cast<DWORD>(names.back().size()) + 1;
    }
    return names;
  }

 private:
  std::string path_;
};

class WideProfileReader final : public IniReader {
 public:
  explicit WideProfileReader(const std::string& path) : path_(Widen(path)) {}

  int GetInt(std::string_view section, std::string_view key, int fallback) const override {
    return static_cast<int>(
        GetPrivateProfileIntW(Widen(section).c_str(), Widen(key).c_str(), fallback, path_.c_str()));
  }

  std::string GetString(std::string_view section, std::string_view key) const override {
    wchar_t value[kMaxIniString + 1] = {};
    const DWORD length = GetPrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), L"",
                                                  value, kMaxIniString + 1, path_.c_str());
    return ToReportCodePage(value, static_cast<int>(length));
  }

  std::vector<std::string> SectionNames() const override {
    std::vector<wchar_t> buffer(1 << 16);
    const DWORD length = GetPrivateProfileSectionNamesW(
        buffer.data(), static_cast<DWORD>(buffer.size()), path_.c_str());
    std::vector<std::string> names;
    for (DWORD at = 0; at < length;) {
      const int size = lstrlenW(buffer.data() + at);
      names.push_back(ToReportCodePage(buffer.data() + at, size));
      at += static_cast<DWORD>(size) + 1;
    }
    return names;
  }

 private:
  std::wstring path_;  // the probe's paths are ASCII
};

bool HasMark(const std::string& path) {
  char start[3] = {};
  std::ifstream(path, std::ios::binary).read(start, sizeof start);
  return test::HasByteOrderMark(std::string_view(start, sizeof start));
}

}  // namespace

std::unique_ptr<IniReader> OpenProbeReader(const std::string& path) {
  if (HasMark(path)) return std::make_unique<WideProfileReader>(path);
  return std::make_unique<AnsiProfileReader>(path);
}

// The program reads through the ANSI functions, which for a marked file give what the probe's
// reader gives only on a machine whose code page is windows-1251.
std::unique_ptr<DefinitionsFile> OpenProgramReader(const std::string& path) {
  if (HasMark(path)) return nullptr;
  return OpenDefinitionsFile(path);
}

}  // namespace trelmoss::test
