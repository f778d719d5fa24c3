#include "tests/captured_sectors.h"

#include <algorithm>
#include <stdexcept>

namespace trelmoss::test {

SectorImage CapturedSector(const std::string& name) {
  const std::vector<std::uint8_t>& bytes = CapturedBytes(name);
  SectorImage sector{};
  if (bytes.size() != sector.size()) throw std::out_of_range(name + " is not one sector");
  std::copy(bytes.begin(), bytes.end(), sector.begin());
  return sector;
}

}  // namespace trelmoss::test
