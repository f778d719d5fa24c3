// The one portable view of a platform's disks. Each platform implements it in its own folder;
// tests use a scripted fake. A disk speaks commands here (ATA commands with their registers, the
// NVMe identity and health log); how each travels to the drive, and in what records, is the
// platform's business alone.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <system_error>
#include <thread>

#include "device/ata/ata_commands.h"
#include "device/nvme/nvme_commands.h"
#include "device/scsi/scsi_commands.h"
#include "model/drive_table.h"

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
  // A line to print about disks that could not be listed (a RAID controller not ours to ask);
  // empty when there is none.
  virtual std::string Remark() const { return {}; }
  // Whether the disk at `index` is reached through its RAID controller's port, and so may be a
  // disk the list holds already (a port the controller passes through as a disk of its own).
  virtual bool ThroughController(std::uint32_t /*index*/) const { return false; }
};

// How a drive is read: through ATA commands, as an NVMe controller, as a SCSI disk through its
// log pages, or as a SCSI disk that keeps none: its identity alone.
enum class DiskBus { kAta, kNvme, kScsi, kScsiIdentity };

inline constexpr unsigned kLongestCommandSeconds = 30;
using SectorBuffer = std::span<std::uint8_t, kSectorSize>;
using NvmeHealthLog = std::span<std::uint8_t, kNvmeHealthLogBytes>;

// An NVMe controller's identity texts as the controller holds them (blank-padded ASCII).
struct NvmeIdentity {
  std::string serial;
  std::string model;
  std::string firmware;
};

// An open disk. Closed on destruction. Every call that fails sets `error` to the operating
// system's error number.
class DiskHandle {
 public:
  virtual ~DiskHandle() = default;
  virtual bool GetDeviceNumber(std::uint32_t& number, int& error) = 0;
  // The name the operating system knows the disk by in its own tools and metrics: the kernel's
  // name on Linux ("sda", "nvme0n1"), "PhysicalDriveN" on Windows. Asked after the number.
  virtual std::string Name() const = 0;
  // The drive's road. A drive whose bus cannot be told takes the ATA road.
  virtual DiskBus Bus() = 0;

  // ATA road: whether the driver passes S.M.A.R.T. commands at all, then the commands. A
  // data-in command fills `sector`; a non-data command leaves it alone.
  virtual bool QuerySmartSupport(bool& supported, int& error) = 0;
  virtual bool SendAtaCommand(const AtaCommand& command, SectorBuffer sector, int& error) = 0;
  // A non-data command whose answer is in the registers the drive returns (CHECK POWER MODE,
  // S.M.A.R.T. RETURN STATUS): `returned` holds them, the error register in `features` and the
  // status in `command`. A driver that carries no registers back leaves them zero.
  virtual bool AskAtaRegisters(const AtaCommand& command, AtaRegisters& returned, int& error) = 0;

  // SCSI road: one command descriptor block, its data in (if any), and how the command ended.
  // False only when the command could not be issued at all.
  virtual bool SendScsiCommand(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn,
                               ScsiOutcome& outcome, int& error) = 0;
  // The same for a command that sends data: a USB bridge's tunnelled command block.
  virtual bool SendScsiDataOut(std::span<const std::uint8_t> cdb,
                               std::span<const std::uint8_t> dataOut, ScsiOutcome& outcome,
                               int& error) = 0;

  // NVMe road: the controller's identity, and its SMART / Health Information log page.
  virtual bool ReadNvmeIdentity(NvmeIdentity& identity, int& error) = 0;
  virtual bool ReadNvmeHealthLog(NvmeHealthLog log, int& error) = 0;

  // Whether an error number a call gave means the disk did not answer in time (the command timed
  // out, or was cancelled by the driver's recovery), rather than that it refused.
  virtual bool MeansTimeout(int error) const = 0;
  // Where the disk stands to a RAID controller.
  virtual RaidPlace Raid() const { return RaidPlace::kNone; }
  // The time each command is given. A command that fails after taking it has timed out, whatever
  // error it ends with: drivers end a timed-out command in shapes of their own (libata answers
  // ABORTED COMMAND, as a drive refusing a command does at once).
  virtual std::chrono::milliseconds CommandTimeout() const {
    return std::chrono::seconds(kLongestCommandSeconds);
  }
};

class DiskSystem {
 public:
  virtual ~DiskSystem() = default;
  // nullptr when the list of disk interfaces cannot be obtained.
  virtual std::unique_ptr<DiskList> ListDisks() = 0;
  // Opens for reading and writing; nullptr with `error` set on failure. May wait on the disk (a
  // driver's error recovery, a removable disk's first command): called where the run's deadline
  // can leave it behind.
  virtual std::unique_ptr<DiskHandle> Open(const std::string& path, int& error) = 0;
  // Starts a thread to read disks on; false when the system has none to give (a full process or
  // task limit).
  virtual bool StartThread(std::function<void()> work, std::thread& thread) {
    try {
      thread = std::thread(std::move(work));
      return true;
    } catch (const std::system_error&) {
      return false;
    }
  }

 protected:
  // The same for every command, whatever the deadline: long enough for a sleeping drive to spin
  // up and answer, and a healthy drive is never cut off and reset for being slow.
  static unsigned CommandSeconds() { return kLongestCommandSeconds; }
};

}  // namespace trelmoss
