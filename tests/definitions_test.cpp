#include "model/definitions.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "model/console.h"
#include "model/definitions_collector.h"
#include "model/drive_table.h"
#include "tests/definitions_description.h"
#include "tests/ini_document.h"
#include "tests/report_checks.h"

namespace trelmoss {
namespace {

// What a definitions file loads to, one line a definition, after the console output.
std::string Describe(const DefinitionsFile& file) {
  return test::LoadAndDescribe(file, "/opt/trelmoss.ini");
}

std::string LoadAndDescribe(const std::string& iniText) {
  return Describe(*test::CollectedDefinitions(iniText));
}

// The same text fed to a reader in pieces of `size` bytes, as a file is read.
template <typename Reader>
void FeedInPieces(Reader& reader, std::string_view text, std::size_t size) {
  for (std::size_t at = 0; at < text.size(); at += size) reader.Feed(text.substr(at, size));
  reader.Finish();
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
    // and the program's collector loads what the whole reference document loads.
    for (const std::size_t size : {1, 2, 3, 7, 1024, 65536}) {
      IniDocument document;
      FeedInPieces(document, text, size);
      EXPECT_EQ(Describe(ReaderDefinitions(document)), expected) << entry.path() << " by " << size;
      DefinitionsCollector collector;
      FeedInPieces(collector, text, size);
      EXPECT_EQ(Describe(collector), expected) << entry.path() << " collected by " << size;
    }
    ++checked;
  }
  EXPECT_GE(checked, 10);
}

TEST(Definitions, HugeMaxAttributesReadsOnlyThePresentSections) {
  const auto file = test::CollectedDefinitions(
      "[General]\nMax Attributes=2147483647\n[Attrib0]\nId=1\nName=one\n[Attrib7]\nId=2\n");
  EXPECT_EQ(file->AttributeSections(file->MaxAttributes()).size(), 2u);
  Console console;
  const DriveTable table(*file, "x.ini", console);
  EXPECT_EQ(table.Definitions().size(), 2u);
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
