// A set of the indexes 0 to 2^32 - 1 in about two bytes an index, however they spread: each
// block of 65536 indexes holds a sorted list of the ones present until a bit map is smaller.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace trelmoss {

class IndexSet {
 public:
  // False when `index` was in the set already.
  bool Insert(std::uint32_t index);

 private:
  struct Block {
    std::vector<std::uint16_t> sorted;  // while the block is sparse
    std::vector<std::uint64_t> bits;    // once it is not
  };
  std::unordered_map<std::uint32_t, Block> blocks_;  // by the index's upper 16 bits
};

}  // namespace trelmoss
