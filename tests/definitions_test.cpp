#include "model/definitions.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "model/console.h"
#include "model/definitions_digest.h"
#include "model/drive_table.h"
#include "model/ini_document.h"
#include "tests/definitions_description.h"
#include "tests/report_checks.h"

namespace trelmoss {
namespace {

// What a definitions file loads to, one line a definition, after the console output.
std::string Describe(const IniReader& ini) {
  return test::LoadAndDescribe(ini, "/opt/trelmoss.ini");
}

std::string LoadAndDescribe(const std::string& iniText) { return Describe(IniDocument(iniText)); }

// The same text fed to a reader in pieces of `size` bytes, as a file is read.
template <typename Reader>
std::string LoadInPiecesAndDescribe(std::string_view text, std::size_t size) {
  Reader ini;
  for (std::size_t at = 0; at < text.size(); at += size) ini.Feed(text.substr(at, size));
  ini.Finish();
  return Describe(ini);
}

TEST(DefinitionsPathFor, ReplacesOrAddsTheExtension) {
  EXPECT_EQ(DefinitionsPathFor("C:\\Tools\\trelmoss.exe"), "C:\\Tools\\trelmoss.ini");
  EXPECT_EQ(DefinitionsPathFor("/usr/local/bin/trelmoss"), "/usr/local/bin/trelmoss.ini");
  EXPECT_EQ(DefinitionsPathFor("/opt/smart.tool/disks"), "/opt/smart.tool/disks.ini");
  EXPECT_EQ(DefinitionsPathFor("/opt/renamed.bin"), "/opt/renamed.ini");
  EXPECT_EQ(DefinitionsPathFor("C:\\a.b\\x"), "C:\\a.b\\x.ini");
  EXPECT_EQ(DefinitionsPathFor("trelmoss.x.exe"), "trelmoss.x.ini");
}

TEST(Definitions, MissingFileWarnsAndDefinesNothing) {
  EXPECT_EQ(LoadAndDescribe(""),
            "console: warning! can't open required /opt/trelmoss.ini!!! \r\n\n");
}

// Every file under ini_cases loads to what its .expected file says.
TEST(Definitions, CasesLoadAsExpected) {
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TRELMOSS_INI_CASES)) {
    if (entry.path().extension() != ".ini") continue;
    std::filesystem::path expectedPath = entry.path();
    expectedPath.replace_extension(".expected");
    const std::string text = test::ReadFile(entry.path().string());
    const std::string expected = test::ReadFile(expectedPath.string());
    EXPECT_EQ(LoadAndDescribe(text), expected) << entry.path();
    // Line ends, CR LF runs, characters and long lines split between pieces change nothing,
    // and the program's digest loads what the whole document loads.
    for (const std::size_t size : {1, 2, 3, 7, 1024, 65536}) {
      EXPECT_EQ(LoadInPiecesAndDescribe<IniDocument>(text, size), expected)
          << entry.path() << " by " << size;
      EXPECT_EQ(LoadInPiecesAndDescribe<DefinitionsDigest>(text, size), expected)
          << entry.path() << " digested by " << size;
    }
    ++checked;
  }
  EXPECT_GE(checked, 10);
}

// Counts the lookups the loader makes, so that the work a file causes can be checked.
class CountingReader final : public IniReader {
 public:
  explicit CountingReader(const IniReader& inner) : inner_(inner) {}
  int GetInt(std::string_view section, std::string_view key, int fallback) const override {
    ++lookups;
    return inner_.GetInt(section, key, fallback);
  }
  std::string GetString(std::string_view section, std::string_view key) const override {
    ++lookups;
    return inner_.GetString(section, key);
  }
  std::vector<std::string> SectionNames() const override { return inner_.SectionNames(); }
  mutable long long lookups = 0;

 private:
  const IniReader& inner_;
};

TEST(Definitions, HugeMaxAttributesReadsOnlyThePresentSections) {
  const IniDocument ini(
      "[General]\nMax Attributes=2147483647\n[Attrib0]\nId=1\nName=one\n"
      "[Attrib7]\nId=2\n");
  const CountingReader counting(ini);
  Console console;
  const DriveTable table(counting, "x.ini", console);
  EXPECT_EQ(table.Definitions().size(), 2u);
  EXPECT_EQ(counting.lookups, 1 + 2 * 4);  // "Max Attributes", then four keys per section
  EXPECT_EQ(console.Text(), "");
}

TEST(Definitions, DefaultFileDefinesTheCommonAttributes) {
  const std::string description = LoadAndDescribe(test::ReadFile(TRELMOSS_DEFAULT_INI));
  EXPECT_EQ(description.find("warning"), std::string::npos);
  for (const char* line : {"id=5 critical=1 name=[Reallocated Sectors Count]",
                           "id=197 critical=1 name=[Current Pending Sector Count]",
                           "id=198 critical=1 name=[Offline Uncorrectable Sector Count]",
                           "id=9 critical=0 name=[Power-On Hours]"}) {
    EXPECT_NE(description.find(line), std::string::npos) << line;
  }
  EXPECT_GE(std::count(description.begin(), description.end(), '\n'), 41);
}

}  // namespace
}  // namespace trelmoss
