#include "report/report.h"

#include <gtest/gtest.h>

#include <random>

#include "device/ata/ata_decoders.h"
#include "model/drive_table.h"
#include "report/html.h"
#include "tests/report_checks.h"
#include "tests/sector_images.h"

namespace trelmoss {
namespace {

using test::AttributeSector;
using test::IdentifySector;
using test::SchemaProblems;
using test::ThresholdSector;

constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"windows-1251\" ?>\r\n";

std::string RenderReport(const DriveTable& table) {
  const auto report = Report::Create();
  report->AddDrives(table);
  return report->Render();
}

void Define(DriveTable& table, std::uint8_t id, const std::string& name) {
  table.AddDefinition({0, id, name, "details"});
}

TEST(Report, EmptyTableIsDeclarationAndEmptyRoot) {
  DriveTable table;
  const std::string report = RenderReport(table);
  EXPECT_EQ(report, std::string(kDeclaration) + "<smart/>\r\n");
  EXPECT_EQ(SchemaProblems(report), "");
}

TEST(Report, OneDriveWithTwoAttributesByteForByte) {
  DriveTable table;
  Define(table, 1, "first name");
  Define(table, 9, "second name");
  Define(table, 12, "not reported by the drive");
  const std::uint8_t slot =
      table.RegisterDrive("\\\\?\\ide#diskexample#5&1f2e3d4c&0&0.0.0#{53f56307}", 0).slot;
  DecodeIdentity(table.Drive(slot), IdentifySector("MODEL A", "SERIAL A", "FW A"));
  // Attribute 194 is reported by the drive but not defined, so it is left out.
  DecodeAttributes(
      table, slot,
      AttributeSector(
          {{9, 98, 98, {0xD2, 0x04, 0, 0, 0, 0}}, {194, 30, 40, {}}, {1, 100, 100, {}}}));
  DecodeThresholds(table, slot, ThresholdSector({{1, 6}, {9, 0}}));
  const std::string expected =
      std::string(kDeclaration) +
      "<smart>\r\n"
      "    <drive devicepath=\"\\\\?\\ide#diskexample#5&amp;1f2e3d4c&amp;0&amp;0.0.0#{53f56307}\" "
      "id=\"0\" model=\"MODEL A\" serial=\"SERIAL A\" firmware=\"FW A\">\r\n"
      "        <attrib id=\"1\" name=\"first name\" value=\"100\" worst=\"100\" raw=\"0\" "
      "treshold=\"6\"/>\r\n"
      "        <attrib id=\"9\" name=\"second name\" value=\"98\" worst=\"98\" raw=\"1234\" "
      "treshold=\"0\"/>\r\n"
      "    </drive>\r\n"
      "</smart>\r\n";
  const std::string report = RenderReport(table);
  EXPECT_EQ(report, expected);
  EXPECT_EQ(SchemaProblems(report), "");
}

TEST(Report, UnreadableDriveHasEmptyIdentityAndErrorAfterFirmware) {
  DriveTable table;
  Define(table, 1, "one");
  DriveRecord& record = table.RegisterDrive("/dev/sdb", 4000000000u);
  record.errorText = "Error 5 in reading basic SMART dataError 5 reading detailed SMART data";
  const std::string report = RenderReport(table);
  EXPECT_EQ(report, std::string(kDeclaration) +
                        "<smart>\r\n"
                        "    <drive devicepath=\"/dev/sdb\" id=\"4000000000\" model=\"\" "
                        "serial=\"\" firmware=\"\" error=\"Error 5 in reading basic SMART "
                        "dataError 5 reading detailed SMART data\"/>\r\n"
                        "</smart>\r\n");
  EXPECT_EQ(SchemaProblems(report), "");
}

TEST(Report, ThresholdMissingAndTwoDrivesWithTheSameIds) {
  DriveTable table;
  Define(table, 5, "Reallocated");
  for (std::uint32_t number : {3u, 7u}) {
    const std::uint8_t slot = table.RegisterDrive("/dev/x" + std::to_string(number), number).slot;
    DecodeAttributes(table, slot,
                     AttributeSector({{5,
                                       static_cast<std::uint8_t>(100 + slot),
                                       90,
                                       {static_cast<std::uint8_t>(slot), 0, 0, 0, 0, 0}}}));
  }
  DecodeThresholds(table, 1, ThresholdSector({{5, 36}}));
  const std::string report = RenderReport(table);
  EXPECT_NE(report.find("<attrib id=\"5\" name=\"Reallocated\" value=\"100\" worst=\"90\" "
                        "raw=\"0\" treshold=\"-1\"/>"),
            std::string::npos);
  EXPECT_NE(report.find("<attrib id=\"5\" name=\"Reallocated\" value=\"101\" worst=\"90\" "
                        "raw=\"1\" treshold=\"36\"/>"),
            std::string::npos);
  EXPECT_LT(report.find("id=\"3\""), report.find("id=\"7\""));
  EXPECT_EQ(SchemaProblems(report), "");
}

TEST(Report, ReservedCharactersBecomeEntitiesAndHighBytesPass) {
  DriveTable table;
  Define(table, 1, "a\"b&c'd<e>f \xC0\xE0\xFF\x80");
  DriveRecord& record = table.RegisterDrive("/dev/<&>", 0);
  DecodeIdentity(record, IdentifySector("Q&A <\"disk\"> 'x'", "\xC1\xC2", "f>"));
  DecodeAttributes(table, 0, AttributeSector({{1, 1, 1, {}}}));
  const std::string report = RenderReport(table);
  EXPECT_NE(report.find("devicepath=\"/dev/&lt;&amp;&gt;\""), std::string::npos);
  EXPECT_NE(report.find("model=\"Q&amp;A &lt;&quot;disk&quot;&gt; &apos;x&apos;\" "
                        "serial=\"\xC1\xC2\" firmware=\"f&gt;\""),
            std::string::npos);
  EXPECT_NE(report.find("name=\"a&quot;b&amp;c&apos;d&lt;e&gt;f \xC0\xE0\xFF\x80\""),
            std::string::npos);
  EXPECT_EQ(SchemaProblems(report), "");
}

TEST(Report, ControlBytesAndUndefinedByteBecomeQuestionMarks) {
  EXPECT_EQ(ReportSafeText("a\x01"
                           "b\x1f"
                           "c\x98"
                           "d\te\nf\rg\x7f\x97\x99"),
            "a?b?c?d\te\nf\rg\x7f\x97\x99");
  DriveTable table;
  DriveRecord& record = table.RegisterDrive("/dev/sda", 0);
  DecodeIdentity(record, IdentifySector("BAD\x01MODEL",
                                        "S\x1b"
                                        "ER",
                                        "\x98"));
  const std::string report = RenderReport(table);
  EXPECT_NE(report.find("model=\"BAD?MODEL\" serial=\"S?ER\" firmware=\"?\""), std::string::npos);
  EXPECT_EQ(SchemaProblems(report), "");
}

TEST(Report, RandomBytesInNamesAndIdentityStillParse) {
  std::mt19937 random(20261207);
  auto randomText = [&](std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text += static_cast<char>(random() % 255 + 1);
    return text;
  };
  for (int round = 0; round < 40; ++round) {
    DriveTable table;
    for (std::uint8_t id = 1; id <= 30; ++id) Define(table, id, randomText(random() % 60));
    for (int drive = 0; drive < 3; ++drive) {
      DriveRecord& record =
          table.RegisterDrive(randomText(random() % 80), static_cast<std::uint32_t>(random()));
      test::SectorImage identify{};
      for (auto& byte : identify) byte = static_cast<std::uint8_t>(random());
      DecodeIdentity(record, identify);
      record.errorText = randomText(random() % 30);
      std::vector<test::AttributeRow> rows;
      for (std::uint8_t id = 1; id <= 30; ++id) {
        rows.push_back(
            {id,
             static_cast<std::uint8_t>(random()),
             static_cast<std::uint8_t>(random()),
             {static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random())}});
      }
      DecodeAttributes(table, record.slot, AttributeSector(rows));
    }
    const std::string report = RenderReport(table);
    ASSERT_EQ(SchemaProblems(report), "") << "round " << round;
  }
}

// Every text from a drive or the definitions file reaches the page as text, never as markup; a
// row at or below its threshold is marked in words, not by colour alone.
TEST(Html, EscapesEveryTextAndMarksRowsAtThreshold) {
  const struct {
    std::string text, page;
  } texts[] = {
      {"<img src=x onerror=alert(1)>", "&lt;img src=x onerror=alert(1)&gt;"},
      {"\"quoted\" 'single'", "&quot;quoted&quot; &#39;single&#39;"},
      {"A&B &amp;", "A&amp;B &amp;amp;"},
      {"tab\tbell\x07unit\x1F", "tab\tbell?unit?"},
      {"\xC4\xE8\xF1\xEA \x98\xFF", "\xD0\x94\xD0\xB8\xD1\x81\xD0\xBA ?\xD1\x8F"},
      {"</section><script>x</script>", "&lt;/section&gt;&lt;script&gt;x&lt;/script&gt;"},
  };
  for (const auto& each : texts) EXPECT_EQ(HtmlText(each.text), each.page) << each.text;
  DriveTable table;
  DecodeIdentity(table.RegisterDrive("/dev/<sda>", 0), IdentifySector("<b>model", "'s", "<fw>"));
  DecodeAttributes(table, 0, AttributeSector({{1, 10, 10, {}}, {2, 11, 11, {}}}));
  DecodeThresholds(table, 0, ThresholdSector({{1, 10}, {2, 10}}));
  Define(table, 1, "<i>rate</i>");
  const std::string page = RenderHtml(table, {"host&<", 0});
  for (const char* markup : {"<b>", "<sda>", "<fw>", "<i>rate", "host&<"}) {
    EXPECT_EQ(page.find(markup), std::string::npos) << markup;
  }
  EXPECT_NE(page.find("<tr class=\"low\"><td>1</td><td>&lt;i&gt;rate&lt;/i&gt;</td>"),
            std::string::npos);
  EXPECT_NE(page.find("at or below threshold</td></tr>\n<tr><td>2</td>"), std::string::npos);
}

}  // namespace
}  // namespace trelmoss
