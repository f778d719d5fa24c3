// The one portable view of a platform's disks. Each platform implements it in its own folder;
// tests use a scripted fake. Everything above it (the enumeration loop, the S.M.A.R.T. exchange
// and its request and reply records) is portable code.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace trelmoss {

enum class InterfaceLookup {
  kFound,         // the path is filled in
  kDetailFailed,  // the interface exists but its details could not be fetched: skip it
  kNoMore,        // past the last interface
  kOutOfMemory,   // no buffer for the details: enumeration fails
};

// The present whole-disk interfaces, in the platform's stable order. Released on destruction.
class DiskList {
 public:
  virtual ~DiskList() = default;
  virtual InterfaceLookup Fetch(std::uint32_t index, std::string& path) = 0;
};

// An open disk. Closed on destruction.
class DiskHandle {
 public:
  virtual ~DiskHandle() = default;
  virtual bool GetDeviceNumber(std::uint32_t& number, int& error) = 0;
  // One S.M.A.R.T. control-code exchange with the records the disk driver defines: `request`
  // is sent, `reply` filled. On failure `error` is the operating system's error number.
  virtual bool Control(std::uint32_t code, std::span<const std::uint8_t> request,
                       std::span<std::uint8_t> reply, int& error) = 0;
};

class DiskSystem {
 public:
  virtual ~DiskSystem() = default;
  // nullptr when the list of disk interfaces cannot be obtained.
  virtual std::unique_ptr<DiskList> ListDisks() = 0;
  // Opens for reading and writing; nullptr with `error` set on failure.
  virtual std::unique_ptr<DiskHandle> Open(const std::string& path, int& error) = 0;
};

}  // namespace trelmoss
