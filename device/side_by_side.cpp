#include "device/side_by_side.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "device/drive_exchange.h"

namespace trelmoss {
namespace {

using Clock = std::chrono::steady_clock;

enum class Stage { kWaiting, kOpening, kReading, kEnded };

// What the run and its readers share; a reader left behind by the deadline keeps it alive.
struct Readings {
  explicit Readings(DiskSystem& system) : disks(system) {}
  DiskSystem& disks;
  ReadOptions options;
  Clock::time_point deadline;
  std::size_t wanted = 0;
  std::mutex mutex;  // guards what follows
  std::condition_variable changed;
  std::vector<Stage> stages;
  std::vector<DiskReading> readings;  // never resized while readers run
  std::size_t next = 0;
  std::size_t opening = 0;
  std::size_t numbered = 0;
  std::size_t readers = 0;  // still taking disks
  bool givenUp = false;
};

// The next disk to open, once opening it cannot make more disks than are wanted; none when every
// disk is taken, enough are numbered, or the deadline has passed.
std::optional<std::size_t> TakeTurn(Readings& r, std::unique_lock<std::mutex>& lock) {
  r.changed.wait(lock, [&r] {
    return r.givenUp || r.next == r.stages.size() || r.opening + r.numbered < r.wanted ||
           r.opening == 0;
  });
  if (Clock::now() >= r.deadline) r.givenUp = true;
  if (r.givenUp || r.next == r.stages.size() || r.opening + r.numbered >= r.wanted) {
    return std::nullopt;
  }
  r.stages[r.next] = Stage::kOpening;
  ++r.opening;
  return r.next++;
}

void EndTurn(Readings& r, std::size_t at, DiskReading reading) {
  r.readings[at] = std::move(reading);
  r.stages[at] = Stage::kEnded;
  r.changed.notify_all();
}

// Opens and numbers one disk; the handle, or none when the turn ended there.
std::unique_ptr<DiskHandle> OpenTurn(Readings& r, std::size_t at, DriveRecord& record,
                                     std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  int error = 0;
  std::unique_ptr<DiskHandle> handle = r.disks.Open(record.devicePath, error);
  DiskTurn failed = DiskTurn::kOpenFailed;
  if (handle) {
    failed = DiskTurn::kNumberFailed;
    if (handle->GetDeviceNumber(record.deviceNumber, error)) {
      record.deviceName = handle->Name();
      failed = DiskTurn::kRead;
    }
  }
  if (failed != DiskTurn::kRead) handle.reset();
  lock.lock();
  --r.opening;
  r.changed.notify_all();
  if (failed != DiskTurn::kRead) {
    EndTurn(r, at, {failed, error, record});
    return nullptr;
  }
  ++r.numbered;
  r.stages[at] = Stage::kReading;
  r.readings[at].record = record;
  return handle;
}

// Keeps what the drive has read so far before it is sent another command; false once the run
// has given the drive up, which then is sent nothing more.
bool KeepSoFar(Readings& r, std::size_t at, const DriveRecord& record) {
  const std::lock_guard lock(r.mutex);
  if (r.givenUp) return false;
  r.readings[at].record = record;
  return true;
}

// Takes the next disk not yet taken until none is left, or the run has given up waiting.
void ReadInTurn(const std::shared_ptr<Readings>& r) {
  std::unique_lock lock(r->mutex);
  while (const std::optional<std::size_t> at = TakeTurn(*r, lock)) {
    DriveRecord record = r->readings[*at].record;
    std::unique_ptr<DiskHandle> handle = OpenTurn(*r, *at, record, lock);
    if (!handle || r->givenUp) continue;
    lock.unlock();
    ReadDrive(*handle, record, r->options,
              [&r, at, &record] { return KeepSoFar(*r, *at, record); });
    handle.reset();
    lock.lock();
    if (!r->givenUp) EndTurn(*r, *at, {DiskTurn::kRead, 0, record});
  }
  --r->readers;
  r->changed.notify_all();
}

std::shared_ptr<Readings> PrepareReadings(DiskSystem& disks, const std::vector<ListedDisk>& listed,
                                          std::size_t wanted, ReadOptions options) {
  const auto r = std::make_shared<Readings>(disks);
  r->options = options;
  const Clock::time_point start =
      options.start == Clock::time_point{} ? Clock::now() : options.start;
  r->deadline = start + std::chrono::seconds(options.deadlineSeconds);
  r->wanted = wanted;
  r->stages.assign(listed.size(), Stage::kWaiting);
  for (const ListedDisk& disk : listed) {
    DiskReading& reading = r->readings.emplace_back();
    reading.record.devicePath = disk.path;
    reading.record.deviceNumber = disk.index;
    reading.record.deviceName = disk.path.substr(disk.path.find_last_of("/\\") + 1);
  }
  return r;
}

// The readers that could be started; with none, the disks are read on this thread.
std::vector<std::thread> StartReaders(const std::shared_ptr<Readings>& r, bool& withoutThreads) {
  const std::size_t count = std::clamp<std::size_t>(r->options.jobs, 1, kMaxDrives);
  std::vector<std::thread> readers;
  while (readers.size() < std::min(count, r->stages.size())) {
    std::thread reader;
    {
      const std::lock_guard lock(r->mutex);
      ++r->readers;
    }
    if (r->disks.StartThread([r] { ReadInTurn(r); }, reader)) {
      readers.push_back(std::move(reader));
      continue;
    }
    const std::lock_guard lock(r->mutex);
    --r->readers;
    break;
  }
  withoutThreads = readers.empty() && !r->stages.empty();
  if (withoutThreads) {
    std::unique_lock lock(r->mutex);
    ++r->readers;
    lock.unlock();
    ReadInTurn(r);
  }
  return readers;
}

DiskReading GivenUp(Stage stage, DiskReading reading) {
  if (stage == Stage::kWaiting) {
    reading.turn = DiskTurn::kMissed;
  } else if (stage != Stage::kEnded) {
    reading.turn = DiskTurn::kNoAnswer;
  }
  return reading;
}

}  // namespace

SideBySide ReadSideBySide(DiskSystem& disks, const std::vector<ListedDisk>& listed,
                          std::size_t wanted, ReadOptions options) {
  const std::shared_ptr<Readings> r = PrepareReadings(disks, listed, wanted, options);
  SideBySide result;
  std::vector<std::thread> readers = StartReaders(r, result.withoutThreads);

  std::unique_lock lock(r->mutex);
  const bool allEnded = r->changed.wait_until(lock, r->deadline, [&r] { return r->readers == 0; });
  r->givenUp = true;
  r->changed.notify_all();
  for (std::size_t at = 0; at < listed.size(); ++at) {
    result.readings.push_back(GivenUp(r->stages[at], r->readings[at]));
  }
  lock.unlock();
  for (std::thread& reader : readers) {
    if (allEnded) {
      reader.join();
    } else {
      reader.detach();  // it may be caught in the kernel for minutes, or for good
    }
  }
  return result;
}

}  // namespace trelmoss
