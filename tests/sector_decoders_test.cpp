#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "device/ata/ata_decoders.h"
#include "model/drive_table.h"
#include "tests/sector_images.h"

namespace trelmoss {
namespace {

using test::AttributeSector;
using test::IdentifySector;
using test::SectorImage;
using test::ThresholdSector;

std::string FieldText(std::uint8_t* field, std::size_t width) {
  SwapAndTrim(field, width);
  return {field, std::find(field, field + width, 0)};
}

TEST(SwapAndTrim, DecodesFieldsTable) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> raw;  // bytes as they stand in the sector
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"swapped pairs with trailing blanks",
       {0x42, 0x41, 0x44, 0x43, 0x20, 0x20, 0x20, 0x20},
       "ABCD"},
      {"leading blanks", {0x20, 0x20, 0x20, 0x20, 0x42, 0x41, 0x20, 0x43}, "ABC"},
      {"blanks only", std::vector<std::uint8_t>(8, 0x20), ""},
      {"NULs only", std::vector<std::uint8_t>(8, 0x00), ""},
      {"NUL inside ends the text", {0x42, 0x41, 0x43, 0x00, 0x45, 0x44, 0x47, 0x46}, "AB"},
      {"tabs and CR trimmed", {0x09, 0x20, 0x59, 0x58, 0x0D, 0x0A, 0x20, 0x20}, "XY"},
      {"full width", {0x32, 0x31, 0x34, 0x33, 0x36, 0x35, 0x38, 0x37}, "12345678"},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> field = c.raw;
    EXPECT_EQ(FieldText(field.data(), field.size()), c.expected) << c.what;
  }
}

TEST(SwapAndTrim, ShortTextIsFollowedByNul) {
  std::uint8_t field[8] = {0x42, 0x41, 0x44, 0x43, 0x20, 0x20, 0x20, 0x20};
  SwapAndTrim(field, 8);
  EXPECT_EQ(std::memcmp(field, "ABCD\0", 5), 0);
}

TEST(DecodeIdentity, FullWidthFieldsStopAtTheirEnds) {
  DriveRecord record;
  const std::string model40 = "M123456789012345678901234567890123456789";
  const SectorImage sector = IdentifySector(model40, "S1234567890123456789", "FIRMWARE");
  DecodeIdentity(record, sector);
  EXPECT_EQ(record.Model(), model40);
  EXPECT_EQ(record.Serial(), "S1234567890123456789");
  // The firmware field is followed directly by the model field: nothing of it may leak in.
  EXPECT_EQ(record.Firmware(), "FIRMWARE");
}

TEST(DecodeIdentity, KeepsFirst256BytesAndTrims) {
  DriveRecord record;
  SectorImage sector = IdentifySector("  QEMU HARDDISK", "  QM00001", "2.5+");
  sector[0] = 0x40;
  sector[255] = 0x77;
  sector[256] = 0x99;
  DecodeIdentity(record, sector);
  EXPECT_EQ(record.Model(), "QEMU HARDDISK");
  EXPECT_EQ(record.Serial(), "QM00001");
  EXPECT_EQ(record.Firmware(), "2.5+");
  EXPECT_EQ(record.identification[0], 0x40);
  EXPECT_EQ(record.identification[255], 0x77);
}

TEST(DecodeAttributes, TakesSixteenBitsOfRawAndSkipsEmptyEntries) {
  DriveTable table;
  table.RegisterDrive("d0", 0);
  SectorImage sector = AttributeSector({{5, 100, 99, {0x2C, 0x01, 0x00, 0x00, 0x05, 0x00}},
                                        {9, 90, 80, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}});
  // An entry after an empty one still counts.
  sector[2 + 12 * 5] = 194;
  sector[2 + 12 * 5 + 3] = 30;
  DecodeAttributes(table, 0, sector);
  const DriveRecord& record = table.Drive(0);
  ASSERT_EQ(record.attributeCount, 3);
  EXPECT_EQ(record.attributes[0].raw, 300u);
  EXPECT_EQ(record.attributes[0].value, 100);
  EXPECT_EQ(record.attributes[0].worst, 99);
  EXPECT_EQ(record.attributes[0].threshold, -1);
  EXPECT_EQ(record.attributes[1].raw, 65535u);
  EXPECT_EQ(record.attributes[2].id, 194);
  EXPECT_EQ(table.FindAttribute(0, 194), &record.attributes[2]);
}

TEST(DecodeThresholds, FillsOnlyIndexedEntriesOfTheSameSlot) {
  DriveTable table;
  table.RegisterDrive("d0", 0);
  table.RegisterDrive("d1", 1);
  DecodeAttributes(table, 0, AttributeSector({{1, 100, 100, {}}, {5, 100, 100, {}}}));
  DecodeAttributes(table, 1, AttributeSector({{1, 100, 100, {}}}));
  DecodeThresholds(table, 0, ThresholdSector({{1, 51}, {7, 30}}));
  EXPECT_EQ(table.FindAttribute(0, 1)->threshold, 51);
  EXPECT_EQ(table.FindAttribute(0, 5)->threshold, -1);  // absent from the threshold sector
  EXPECT_EQ(table.FindAttribute(0, 7), nullptr);        // threshold without an attribute
  EXPECT_EQ(table.FindAttribute(1, 1)->threshold, -1);  // another drive's entry
}

TEST(DecodeAttributes, SameIdTwiceStoresBothAndIndexesTheLater) {
  DriveTable table;
  table.RegisterDrive("d0", 0);
  DecodeAttributes(table, 0, AttributeSector({{9, 10, 10, {1}}, {9, 20, 20, {2}}}));
  DecodeThresholds(table, 0, ThresholdSector({{9, 3}}));
  const DriveRecord& record = table.Drive(0);
  ASSERT_EQ(record.attributeCount, 2);
  EXPECT_EQ(table.FindAttribute(0, 9), &record.attributes[1]);
  EXPECT_EQ(record.attributes[0].threshold, -1);
  EXPECT_EQ(record.attributes[1].threshold, 3);
}

}  // namespace
}  // namespace trelmoss
