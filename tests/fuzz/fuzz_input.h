// Takes a fuzzer's bytes apart into the decisions and data of one test case. Past the end of
// the input every byte reads as zero, so any input is a complete case.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace trelmoss::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  bool Bool() { return (Byte() & 1) != 0; }
  std::uint32_t Word() {
    std::uint32_t word = 0;
    for (int i = 0; i < 4; ++i) word = (word << 8) | Byte();
    return word;
  }
  // Fills `out` from the input, zero-padded.
  template <typename Buffer>
  void Fill(Buffer& out) {
    for (auto& byte : out) byte = Byte();
  }
  std::string Text(std::size_t maxLength) {
    const std::size_t length = std::min<std::size_t>(Byte() % (maxLength + 1), size_ - at_);
    std::string text(reinterpret_cast<const char*>(data_ + at_), length);
    at_ += length;
    return text;
  }
  std::string Rest() {
    std::string rest(reinterpret_cast<const char*>(data_ + at_), size_ - at_);
    at_ = size_;
    return rest;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace trelmoss::fuzz
