#include "model/index_set.h"

#include <algorithm>

namespace trelmoss {
namespace {

constexpr std::size_t kBlockBits = 65536;
// A block's list turns into a bit map where the map, 8 KiB, is no larger.
constexpr std::size_t kLongestList = kBlockBits / 16;

bool SetBit(std::vector<std::uint64_t>& bits, std::uint16_t low) {
  std::uint64_t& word = bits[low / 64];
  const std::uint64_t bit = std::uint64_t{1} << (low % 64);
  const bool fresh = (word & bit) == 0;
  word |= bit;
  return fresh;
}

}  // namespace

bool IndexSet::Insert(std::uint32_t index) {
  Block& block = blocks_[index >> 16];
  const auto low = static_cast<std::uint16_t>(index & 0xFFFF);
  if (!block.bits.empty()) return SetBit(block.bits, low);
  const auto at = std::lower_bound(block.sorted.begin(), block.sorted.end(), low);
  if (at != block.sorted.end() && *at == low) return false;
  block.sorted.insert(at, low);
  if (block.sorted.size() > kLongestList) {
    block.bits.assign(kBlockBits / 64, 0);
    for (const std::uint16_t present : block.sorted) SetBit(block.bits, present);
    std::vector<std::uint16_t>().swap(block.sorted);
  }
  return true;
}

}  // namespace trelmoss
