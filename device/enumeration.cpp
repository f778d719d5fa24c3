// Finding the drives: every present disk interface is opened, numbered and read side by side
// under the run's deadline; then, in the platform's order, each disk that opened and numbered is
// registered in the next free slot, as is each the deadline left behind. At most 32 drives are
// registered.
#include <optional>

#include "device/disk_system.h"
#include "device/side_by_side.h"
#include "model/console.h"
#include "model/drive_table.h"

namespace trelmoss {
namespace {

struct Listing {
  std::vector<ListedDisk> disks;
  std::optional<std::size_t> outOfMemoryAt;  // how many disks came before the list broke off
};

// Listing asks no disk anything, so the whole list is had before any disk is opened.
Listing ListAll(DiskList& list) {
  Listing listing;
  std::string path;
  for (std::uint32_t index = 0;; ++index) {
    const InterfaceLookup lookup = list.Fetch(index, path);
    if (lookup == InterfaceLookup::kNoMore) break;
    if (lookup == InterfaceLookup::kOutOfMemory) {
      listing.outOfMemoryAt = listing.disks.size();
      break;
    }
    if (lookup == InterfaceLookup::kFound) {
      listing.disks.push_back({path, index, list.ThroughController(index)});
    }
  }
  return listing;
}

void PrintOpeningFailure(Console& console, const DiskReading& reading) {
  const char* format = reading.turn == DiskTurn::kOpenFailed
                           ? "can't open device %s  (Error %d)"
                           : "can't get device number %s  (Error %d)";
  PrintMessage(console, format, reading.record.devicePath.c_str(), reading.error);
}

std::string DeadlineText(DiskTurn turn, unsigned seconds) {
  const std::string count = std::to_string(seconds);
  if (turn == DiskTurn::kMissed)
    return "not read: the deadline of " + count + " s passed before its turn";
  return "no answer within " + count + " s";
}

// A disk read through its controller's port that is also listed on its own is that disk, known
// by its serial (never by its number): it is registered once, as the disk of its own.
bool ListedOnItsOwn(const Listing& listing, const SideBySide& read, std::size_t at) {
  const DriveRecord& record = read.readings[at].record;
  if (!listing.disks[at].throughController || record.Serial().empty()) return false;
  for (std::size_t other = 0; other < read.readings.size(); ++other) {
    if (!listing.disks[other].throughController && read.readings[other].turn == DiskTurn::kRead &&
        read.readings[other].record.Serial() == record.Serial()) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool DriveTable::EnumerateDrives(DiskSystem& disks, Console& console, ReadOptions options) {
  const std::unique_ptr<DiskList> list = disks.ListDisks();
  if (!list) return false;
  const Listing listing = ListAll(*list);
  if (!list->Remark().empty()) PrintMessage(console, "%s\r\n", list->Remark().c_str());
  const std::size_t wanted = kMaxDrives - driveCount_;
  if (listing.outOfMemoryAt && *listing.outOfMemoryAt < wanted) return false;
  const SideBySide read = ReadSideBySide(disks, listing.disks, wanted, options);
  if (read.withoutThreads) {
    PrintMessage(console, "no thread to be had: the drives are read one after another\r\n");
  }
  std::vector<std::uint8_t> givenUp;
  for (std::size_t at = 0; at < read.readings.size() && driveCount_ < kMaxDrives; ++at) {
    const DiskReading& reading = read.readings[at];
    if (reading.turn == DiskTurn::kOpenFailed || reading.turn == DiskTurn::kNumberFailed) {
      PrintOpeningFailure(console, reading);
      continue;
    }
    if (ListedOnItsOwn(listing, read, at)) continue;
    DriveRecord& record = RegisterDrive(reading.record.devicePath, reading.record.deviceNumber);
    DriveRecord stored = reading.record;
    stored.slot = record.slot;
    if (reading.turn != DiskTurn::kRead) {
      stored.errorText = DeadlineText(reading.turn, options.deadlineSeconds);
      stored.turnMissed = reading.turn == DiskTurn::kMissed;
      givenUp.push_back(stored.slot);
    }
    StoreDrive(stored);
  }
  if (driveCount_ < kMaxDrives && listing.outOfMemoryAt) return false;
  for (const std::uint8_t slot : givenUp) {
    const DriveRecord& record = Drive(slot);
    PrintMessage(console, "%s: %s\r\n", record.devicePath.c_str(), record.errorText.c_str());
  }
  return true;
}

}  // namespace trelmoss
