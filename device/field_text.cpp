#include "device/field_text.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace trelmoss {
namespace {

bool IsBlank(std::uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

void StoreIdentityText(std::uint8_t* field, std::size_t width, std::string_view text) {
  text = text.substr(0, std::min(width, text.find('\0')));
  std::size_t start = 0;
  std::size_t end = text.size();
  while (start < end && IsBlank(static_cast<std::uint8_t>(text[start]))) ++start;
  while (end > start && IsBlank(static_cast<std::uint8_t>(text[end - 1]))) --end;
  const std::size_t length = end - start;
  std::memmove(field, text.data() + start, length);
  if (length < width) field[length] = 0;
}

std::string DecimalOfLittleEndian(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> number(bytes.begin(), bytes.end());
  std::string digits;
  do {  // long division by ten, most significant byte first
    unsigned remainder = 0;
    for (auto byte = number.rbegin(); byte != number.rend(); ++byte) {
      const unsigned current = remainder * 256 + *byte;
      *byte = static_cast<std::uint8_t>(current / 10);
      remainder = current % 10;
    }
    digits.push_back(static_cast<char>('0' + remainder));
  } while (std::any_of(number.begin(), number.end(), [](std::uint8_t b) { return b != 0; }));
  std::reverse(digits.begin(), digits.end());
  return digits;
}

}  // namespace trelmoss
