#include "tests/ini_document.h"

#include <gtest/gtest.h>

#include "ini/ini_encoding.h"

namespace trelmoss {
namespace {

TEST(ParseProfileInt, Table) {
  struct Case {
    const char* text;
    int expected;
  };
  const Case cases[] = {
      {"0", 0},      {"42", 42},         {"  42", 42},      {"+12abc", 12},
      {"-7", -7},    {"0x10", 16},       {"0x1f", 31},      {"0X10", 0},
      {"0b101", 5},  {"0o17", 15},       {"abc", 0},        {"", 0},
      {"-", 0},      {"4294967295", -1}, {"4294967296", 0}, {"2147483648", -2147483647 - 1},
      {"12 34", 12}, {"\t9", 9},         {"0x", 0},         {"- 5", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseProfileInt(c.text), c.expected) << c.text;
}

TEST(IniDocument, LooksUpWithoutRegardToCaseAndTrims) {
  const IniDocument ini("[Sec]\n  KEY  =  value with blanks  \nNum = 17\n");
  EXPECT_EQ(ini.GetString("sec", "key"), "value with blanks");
  EXPECT_EQ(ini.GetString("SEC", "Key"), "value with blanks");
  EXPECT_EQ(ini.GetInt("sec", "num", 5), 17);
  EXPECT_EQ(ini.GetInt("sec", "missing", 5), 5);
  EXPECT_EQ(ini.GetInt("other", "num", 5), 5);
  EXPECT_EQ(ini.GetString("other", "num"), "");
}

TEST(IniDocument, EmptyValueGivesTheDefaultInteger) {
  const IniDocument ini("[s]\nempty=\nquoted=\"\"\n");
  EXPECT_EQ(ini.GetInt("s", "empty", 9), 9);
  EXPECT_EQ(ini.GetInt("s", "quoted", 9), 9);
}

TEST(IniDocument, FirstSectionAndFirstKeyWin) {
  const IniDocument ini("[a]\nk=1\nk=2\n[A]\nk=3\nj=4\n");
  EXPECT_EQ(ini.GetInt("a", "k", 0), 1);
  EXPECT_EQ(ini.GetInt("a", "j", 0), 0);
  EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"a"}));
}

TEST(IniDocument, KeysBeforeAnySectionAreIgnored) {
  const IniDocument ini("k=1\n[s]\nk=2\n");
  EXPECT_EQ(ini.GetInt("", "k", 0), 0);
  EXPECT_EQ(ini.GetInt("s", "k", 0), 2);
}

// Only the bytes a lookup can hand out are kept of a long value; its quotes still follow the
// buffer rule, which loses the last byte where the text after the quote fills 1024 bytes.
TEST(IniDocument, LongQuotedValuesKeepTheBufferRule) {
  for (std::size_t inner = 1018; inner <= 1032; ++inner) {
    const IniDocument ini("[s]\nk=\"" + std::string(inner, 'x') + "\"\n");
    const std::size_t expected = inner + 1 <= 1023 ? inner : inner + 1 == 1024 ? 1022 : 1023;
    EXPECT_EQ(ini.GetString("s", "k"), std::string(expected, 'x')) << inner;
  }
}

// Section names are listed whole, however long; only lookups cut what they compare.
TEST(IniDocument, ListsLongSectionNamesWhole) {
  const std::string name(1500, 'n');
  const IniDocument ini("[" + name + "]\nk=1\n[" + name + "x]\n");
  EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{name, name + "x"}));
}

TEST(IniDocument, StringsAreCutTo1023Bytes) {
  const IniDocument ini("[s]\nk=" + std::string(5000, 'x') + "\n");
  EXPECT_EQ(ini.GetString("s", "k"), std::string(1023, 'x'));
}

TEST(IniDocument, HandlesLineEndsAndByteOrderMark) {
  const IniDocument ini("\xEF\xBB\xBF[s]\r\nk=v\r\nlast=no newline");
  EXPECT_EQ(ini.GetString("s", "k"), "v");
  EXPECT_EQ(ini.GetString("s", "last"), "no newline");
}

// Files with a byte-order mark come out as windows-1251, "?" where it has no character.
TEST(ToSingleByteText, ConvertsMarkedFilesToWindows1251) {
  struct Case {
    std::string file;
    std::string text;
  };
  const Case cases[] = {
      {"plain \xC0\xFF bytes", "plain \xC0\xFF bytes"},
      {"\xEF\xBB\xBFId=\xD0\x90\xD1\x8F \xE2\x84\x96", "Id=\xC0\xFF \xB9"},  // А я №
      {"\xEF\xBB\xBF\xE4\xB8\x80|\xF0\x9F\x98\x80|\xC3\xA9", "?|??|?"},      // CJK, emoji, é
      // Stray bytes; an overlong form is malformed once its second byte shows it.
      {"\xEF\xBB\xBF\xFF\xC3|\xE0\x80\x80", "??|??"},
      // The end of the file cuts a sequence short: it and all after it are one character.
      {"\xEF\xBB\xBF\xF0\x9F\x98|\xF0\xBF\n", "?|?"},
      {std::string("\xFF\xFEI\0d\0=\0\x10\x04\x3D\xD8\x00\xDE", 14), "Id=\xC0??"},
      {std::string("\xFE\xFF\0I\0d\x04\x10\0", 9), "Id\xC0"},  // big endian; odd byte dropped
  };
  for (const Case& c : cases) EXPECT_EQ(test::ToSingleByteText(c.file), c.text) << c.file;
}

}  // namespace
}  // namespace trelmoss
