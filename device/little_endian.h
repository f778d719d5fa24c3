// Little-endian fields of the byte images that drives, controllers and their drivers exchange:
// sectors, log pages, command frames. The value's type gives the width unless one is named (a
// 48-bit raw attribute value, a field narrower than its type).
#pragma once

#include <cstddef>
#include <cstdint>

namespace trelmoss {

template <typename Value>
constexpr Value LoadLittleEndian(const std::uint8_t* at, std::size_t width = sizeof(Value)) {
  Value value = 0;
  for (std::size_t byte = width; byte-- > 0;) value = static_cast<Value>(value << 8 | at[byte]);
  return value;
}

template <typename Value>
constexpr void StoreLittleEndian(std::uint8_t* at, Value value, std::size_t width = sizeof(Value)) {
  for (std::size_t byte = 0; byte < width; ++byte) {
    at[byte] = static_cast<std::uint8_t>(value >> (8 * byte));
  }
}

}  // namespace trelmoss
