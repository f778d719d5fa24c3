// The storage stack's NVMe pass-through: an IOCTL_STORAGE_QUERY_PROPERTY whose one buffer holds
// the property query with its protocol-specific request on the way in, and the protocol data
// descriptor followed by the controller's data on the way out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace trelmoss {

enum class NvmeQueryKind {
  kIdentifyController,  // Identify, CNS 01h, 4096 bytes, asked of the adapter (the controller)
  kHealthLog,           // Get Log Page 02h, 512 bytes, asked of the device
};

class NvmeQuery {
 public:
  explicit NvmeQuery(NvmeQueryKind kind);
  void* Bytes() { return buffer_.data(); }
  std::size_t Size() const { return buffer_.size(); }
  // The data the driver returned, once the descriptor in front of it has been checked; empty,
  // with `error` set, when the descriptor does not describe the data asked for.
  std::span<const std::uint8_t> Data(int& error) const;

 private:
  std::size_t dataBytes_;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace trelmoss
