// A scripted stand-in for a platform's disks: each disk has sector images, an optional failure
// (with its error number) at any step, and every request sent to it is recorded.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "device/disk_system.h"
#include "device/scsi/usb_bridges.h"
#include "tests/sector_images.h"

namespace trelmoss::test {

// Every request a drive can receive: the ATA road's, the NVMe road's two.
enum class Step {
  kVersion,
  kEnable,
  kIdentify,
  kReadData,
  kReadThresholds,
  kNvmeIdentity,
  kNvmeHealth,
  kPowerMode,
  kReturnStatus,
  kReadLog,  // READ LOG EXT or S.M.A.R.T. READ LOG
  kScsi      // any SCSI command; its operation code is recorded
};

// What a disk reached through SCSI commands answers. A command it does not answer ends with
// CHECK CONDITION, ILLEGAL REQUEST.
struct ScsiAnswers {
  std::string vendor = "SEAGATE";
  std::string product = "ST4000NM0023";
  std::string revision = "0004";
  std::string serial = "Z1Z0ABCD";
  bool passThrough16 = false;  // an ATA drive answers ATA PASS-THROUGH (16)
  bool passThrough12 = false;  // or (12)
  std::map<std::uint8_t, std::vector<std::uint8_t>> logPages;  // page 00h lists their codes
  std::vector<std::uint8_t> requestSense;                      // fixed-format sense data
  std::vector<std::uint8_t> defects10;                         // headers; empty: refused
  std::vector<std::uint8_t> defects12;
  bool unitAttention = false;  // the first command meets UNIT ATTENTION
  // Behind a USB bridge that answers this tunnel, carrying the disk's NVMe or ATA commands in
  // its own command; it refuses every other.
  BridgeTunnel bridge = BridgeTunnel::kNone;
  // What JMicron's ATA bridge answers its port probe: the drive on port 0 (04h), addressed as
  // device A0h, or on port 1 (40h), as B0h; commands to the other device are refused.
  std::uint8_t jmicronPort = 0x04;
};

inline constexpr int kFakeTimeoutError = 110;  // the error number MeansTimeout knows

struct FakeDisk {
  std::string path;
  std::uint32_t deviceNumber = 0;
  std::string name;  // empty: the path's last part
  bool detailFails = false;
  std::optional<int> openError;
  std::optional<int> numberError;
  DiskBus bus = DiskBus::kAta;
  bool smartCommands = true;      // whether the driver passes S.M.A.R.T. commands
  std::uint8_t powerMode = 0xFF;  // what CHECK POWER MODE answers: active or idle
  // The registers RETURN STATUS returns: the key unchanged, no threshold exceeded.
  AtaRegisters statusReply{0, 0, 0, 0x4F, 0xC2, 0, 0x50};
  std::map<Step, int> failures;  // step -> error number
  SectorImage identify{};
  SectorImage attributes{};
  SectorImage thresholds{};
  // The log sectors it answers, by command, log address and page; it refuses every other.
  std::map<std::tuple<std::uint8_t, std::uint8_t, std::uint8_t>, SectorImage> logs;
  std::map<Step, std::size_t> replyLimits;  // bytes of a sector or log the fake fills at most
  NvmeIdentity nvmeIdentity;
  SectorImage healthLog{};
  ScsiAnswers scsi;
  BridgeTunnel tunnel = BridgeTunnel::kNone;  // the one its USB id names: the handle takes it
  RaidPlace raid = RaidPlace::kNone;
  // Timing: each request is answered after `latency`; the `hangAt`-th (from 1) is not: it fails
  // with `hangError` after `hangFor`, or without it only once the fake is destroyed. Each
  // command is given `commandTimeout`. Opening waits until the fake is destroyed if `openHangs`.
  std::chrono::milliseconds latency{0};
  std::optional<std::size_t> hangAt;
  std::optional<std::chrono::milliseconds> hangFor;
  int hangError = kFakeTimeoutError;
  std::chrono::milliseconds commandTimeout{std::chrono::seconds(30)};
  bool openHangs = false;
};

struct RecordedRequest {
  std::string path;
  Step step;
  AtaRegisters registers;   // of an ATA command
  std::uint8_t opcode = 0;  // of a SCSI command
};

// Its disks may be read side by side: what they record is kept under one lock. Destroyed, it
// frees the requests left hanging and waits for every handle to be closed.
class FakeDiskSystem final : public DiskSystem {
 public:
  FakeDiskSystem() = default;
  FakeDiskSystem(FakeDiskSystem&&) = default;
  FakeDiskSystem& operator=(FakeDiskSystem&&) = default;
  ~FakeDiskSystem() override;
  std::vector<FakeDisk> disks;
  bool listFails = false;
  bool threadsRefused = false;                 // no thread to be had
  std::optional<std::uint32_t> outOfMemoryAt;  // interface index whose buffer cannot be had

  std::vector<std::string> opened;
  std::vector<RecordedRequest> requests;
  std::vector<std::string> unexpected;  // requests no drive should ever get
  int openHandles = 0;
  int mostOpenHandles = 0;
  bool listOpen = false;

  std::unique_ptr<DiskList> ListDisks() override;
  std::unique_ptr<DiskHandle> Open(const std::string& path, int& error) override;
  bool StartThread(std::function<void()> work, std::thread& thread) override {
    return !threadsRefused && DiskSystem::StartThread(std::move(work), thread);
  }
  // The requests one disk received, in order.
  std::vector<Step> StepsOf(const std::string& path) const;

  std::mutex& Mutex() { return sync_->mutex; }
  // Holds a hanging request for `time`, or until the fake is destroyed.
  void Hang(std::optional<std::chrono::milliseconds> time);
  void HandleClosed();

 private:
  struct Sync {
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
  };
  std::unique_ptr<Sync> sync_ = std::make_unique<Sync>();
};

// A well-behaved ATA disk with identity, attributes and thresholds.
FakeDisk HealthyDisk(const std::string& path, std::uint32_t deviceNumber);
// A well-behaved NVMe drive: blank-padded identity texts and a health log whose data-unit
// counters need more than 64 bits.
FakeDisk HealthyNvmeDisk(const std::string& path, std::uint32_t deviceNumber);

}  // namespace trelmoss::test
