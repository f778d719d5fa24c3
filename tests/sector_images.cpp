#include "tests/sector_images.h"

namespace trelmoss::test {

void PutAtaText(SectorImage& sector, std::size_t offset, std::size_t width, std::string_view text,
                std::uint8_t pad) {
  for (std::size_t i = 0; i < width; ++i) {
    const std::uint8_t c = i < text.size() ? static_cast<std::uint8_t>(text[i]) : pad;
    sector[offset + (i ^ 1)] = c;  // character i sits in the other byte of its word
  }
}

SectorImage IdentifySector(std::string_view model, std::string_view serial,
                           std::string_view firmware) {
  SectorImage sector{};
  PutAtaText(sector, 20, 20, serial);
  PutAtaText(sector, 46, 8, firmware);
  PutAtaText(sector, 54, 40, model);
  return sector;
}

SectorImage AttributeSector(const std::vector<AttributeRow>& rows) {
  SectorImage sector{};
  sector[0] = 0x10;  // data structure revision
  for (std::size_t i = 0; i < rows.size() && i < 30; ++i) {
    std::uint8_t* entry = sector.data() + 2 + 12 * i;
    entry[0] = rows[i].id;
    entry[1] = static_cast<std::uint8_t>(rows[i].flags);
    entry[2] = static_cast<std::uint8_t>(rows[i].flags >> 8);
    entry[3] = rows[i].value;
    entry[4] = rows[i].worst;
    for (std::size_t b = 0; b < 6; ++b) entry[5 + b] = rows[i].raw[b];
  }
  return sector;
}

SectorImage ThresholdSector(const std::vector<ThresholdRow>& rows) {
  SectorImage sector{};
  sector[0] = 0x10;
  for (std::size_t i = 0; i < rows.size() && i < 30; ++i) {
    std::uint8_t* entry = sector.data() + 2 + 12 * i;
    entry[0] = rows[i].id;
    entry[1] = rows[i].threshold;
  }
  return sector;
}

}  // namespace trelmoss::test
