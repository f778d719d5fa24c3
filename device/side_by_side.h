// Opening, numbering and reading the listed disks side by side, each on a thread of its own,
// every drive into its own record, under the run's deadline: a disk that never answers, whether
// to its opening or to a command, holds back neither the others nor the report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/disk_system.h"
#include "model/drive_table.h"

namespace trelmoss {

struct ListedDisk {
  std::string path;
  std::uint32_t index = 0;         // its interface's place in the platform's list
  bool throughController = false;  // see DiskList::ThroughController
};

// How a listed disk's turn ended.
enum class DiskTurn {
  kMissed,        // the deadline passed before it was opened: it was sent nothing
  kOpenFailed,    // `error` says why
  kNumberFailed,  // likewise
  kNoAnswer,      // still being opened, numbered or read when the deadline passed
  kRead,
};

struct DiskReading {
  DiskTurn turn = DiskTurn::kMissed;
  int error = 0;
  // The path; the number and name once known (until then the interface's index and the path's
  // last part); what was read, or, for a disk that did not answer, what it had read before the
  // command that did not come back.
  DriveRecord record;
};

struct SideBySide {
  std::vector<DiskReading> readings;  // one a listed disk, in the list's order
  bool withoutThreads = false;        // no thread could be had: read one after another here
};

// The disks are taken in the list's order, at most `options.jobs` at once, and no more are opened
// than can make up `wanted` opened and numbered disks. Once the deadline has passed no disk is
// taken, and the threads still waiting on a disk are left to end, or not, on their own: nothing
// they still hold is shared, and a disk given up is sent nothing more.
SideBySide ReadSideBySide(DiskSystem& disks, const std::vector<ListedDisk>& listed,
                          std::size_t wanted, ReadOptions options);

}  // namespace trelmoss
