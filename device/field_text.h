// Texts and numbers as every protocol's decoders store them: identity texts in the record's
// fixed fields, and counters of any width in decimal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace trelmoss {

// Writes `text` into a field of `width` bytes: cut at the field's width and at its first NUL,
// blanks trimmed at both ends, a NUL behind it when it is shorter than the field.
void StoreIdentityText(std::uint8_t* field, std::size_t width, std::string_view text);
// A little-endian unsigned number of any width, in decimal, every digit kept.
std::string DecimalOfLittleEndian(std::span<const std::uint8_t> bytes);

}  // namespace trelmoss
