// Sector images as a drive returns them, for feeding the decoders and the fake disks.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace trelmoss::test {

using SectorImage = std::array<std::uint8_t, 512>;

// Writes `text` into an ATA text field: blank-padded to `width`, two characters per word with
// the first one in the high byte.
void PutAtaText(SectorImage& sector, std::size_t offset, std::size_t width, std::string_view text,
                std::uint8_t pad = ' ');

SectorImage IdentifySector(std::string_view model, std::string_view serial,
                           std::string_view firmware);

struct AttributeRow {
  std::uint8_t id;
  std::uint8_t value;
  std::uint8_t worst;
  std::array<std::uint8_t, 6> raw;  // little-endian, as on the drive
  std::uint16_t flags = 0x000F;     // pre-failure, online, performance, error rate
};
SectorImage AttributeSector(const std::vector<AttributeRow>& rows);

struct ThresholdRow {
  std::uint8_t id;
  std::uint8_t threshold;
};
SectorImage ThresholdSector(const std::vector<ThresholdRow>& rows);

}  // namespace trelmoss::test
