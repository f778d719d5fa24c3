// The program's collector of a definitions file must load exactly what the whole reference
// document loads, above all where it throws sections away.
#include "model/definitions_collector.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "ini/ini_encoding.h"
#include "model/index_set.h"
#include "tests/definitions_description.h"
#include "tests/ini_document.h"

namespace trelmoss {
namespace {

std::string Describe(const DefinitionsFile& file) {
  return test::LoadAndDescribe(file, "trelmoss.ini");
}

std::string Collected(std::string_view file) { return Describe(*test::CollectedDefinitions(file)); }

std::string Documented(std::string_view file) {
  const IniDocument document(file);
  return Describe(ReaderDefinitions(document));
}

TEST(DefinitionsCollector, LoadsWhatTheDocumentLoads) {
  const std::string max = "[General]\nMax Attributes=100\n";
  const char* const shapes[] = {
      // A higher-numbered section with the same id comes first; the lower one wins.
      "[Attrib9]\nId=5\nName=late\n[Attrib2]\nId=5\nName=low\n",
      // A repeated section's keys never count, even once it is no longer its id's lowest.
      "[Attrib3]\nId=7\n[Attrib1]\nId=7\n[Attrib3]\nId=8\nName=repeat\n",
      "[Attrib4]\nName=first\n[ATTRIB4]\nId=6\n[attrib4]\nName=third\n",
      // Ids taken modulo 256, missing, empty or quoted; the first key of a name wins.
      "[Attrib1]\nId=261\n[Attrib2]\nId=5\nName=x\n[Attrib3]\nName=no id\n[Attrib4]\nId=\n",
      "[Attrib6]\nId=\"12\"\nid=13\nNAME=n\nName=m\nCritical=0x10\nDetails='d'\n",
      // Sections the loader never reads: leading zeros, blanks, beyond Max Attributes.
      "[Attrib05]\nId=1\n[Attrib 6]\nId=2\n[Attrib100]\nId=3\n[Attrib99]\nId=3\nName=last\n",
      "[Attrib2147483647]\nId=1\n[Attrib2147483648]\nId=2\n",
      // General repeated, or after the attributes; Max Attributes missing.
      "[Attrib1]\nId=1\n[General]\nMax Attributes=2\n[general]\nMax Attributes=9\n",
      "[Attrib1]\nId=1\n[General]\nmax attributes=\nMax Attributes=3\n",
  };
  for (const char* shape : shapes) {
    for (const std::string& file : {max + shape, std::string(shape), shape + max}) {
      EXPECT_EQ(Collected(file), Documented(file)) << file;
    }
  }
}

// Many sections over all ids, in a random order with repeats: still the document's result.
TEST(DefinitionsCollector, AgreesOnRandomSectionOrders) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    std::string file = "[General]\nMax Attributes=" + std::to_string(random() % 3000) + "\n";
    for (int section = 0; section < 400; ++section) {
      file += "[Attrib" + std::to_string(random() % 2500) +
              "]\nId=" + std::to_string(random() % 300) + "\nName=n" + std::to_string(section) +
              "\n";
    }
    EXPECT_EQ(Collected(file), Documented(file)) << "round " << round;
  }
}

// Lines stream: what decides a long line is kept, whatever lies between (its last ']', the
// quote that ends its value behind blanks), in the collector and in the reference alike.
TEST(DefinitionsCollector, LongLinesKeepWhatDecidesThem) {
  const std::string x(2000, 'x');
  const std::string file = "[" + std::string(2000, '\t') + "General" + std::string(3000, ' ') +
                           "] tail\n" +
                           "Max Attributes=1\n[Attrib0]\nId=" + std::string(1500, ' ') + "7\n" +
                           "Name=\"" + x + "\"  \t\x1a\n" + "Details=" + x + "\0tail\n";
  const std::string expected = "console: \nid=7 critical=0 name=[" + std::string(1023, 'x') +
                               "] details=[" + std::string(1023, 'x') + "]\n";
  EXPECT_EQ(Collected(file), expected);
  EXPECT_EQ(Documented(file), expected);
}

TEST(IndexSet, AnswersAsASetWhetherSparseOrDense) {
  std::mt19937 random(3);
  IndexSet set;
  std::set<std::uint32_t> reference;
  // Dense blocks turn into bit maps, sparse ones stay lists; both must keep every index.
  const auto insert = [&](std::uint32_t index) {
    ASSERT_EQ(set.Insert(index), reference.insert(index).second) << index;
  };
  for (std::uint32_t i = 0; i < 20000; ++i) insert(i * 3 % 65536);
  for (int i = 0; i < 20000; ++i) insert(static_cast<std::uint32_t>(random()));
  for (int i = 0; i < 20000; ++i) insert(0xFFFF0000u + random() % 8192);
  for (const std::uint32_t index : reference) insert(index);
}

// A marked file read in pieces gives the text the whole file gives, however it is cut.
TEST(SingleByteDecoder, PiecesGiveTheWholeText) {
  const std::string files[] = {
      "\xEF\xBB\xBFId=\xD0\x90\xD1\x8F \xE2\x84\x96|\xF0\x9F\x98\x80|\xC3|\xE0\x80\x80\xF0\x9F",
      std::string("\xFF\xFEI\0d\0=\0\x10\x04\x3D\xD8\x00\xDE\x41", 15),
      std::string("\xFE\xFF\0I\0d\x04\x10\0", 9),
      "\xEF\xBB",
      "plain \xFF\xFE",
  };
  for (const std::string& file : files) {
    for (std::size_t size = 1; size <= 4; ++size) {
      SingleByteDecoder decoder;
      std::string text;
      for (std::size_t at = 0; at < file.size(); at += size) {
        text += decoder.Next(std::string_view(file).substr(at, size));
      }
      text += decoder.Finish();
      EXPECT_EQ(text, test::ToSingleByteText(file)) << file << " by " << size;
    }
  }
}

}  // namespace
}  // namespace trelmoss
