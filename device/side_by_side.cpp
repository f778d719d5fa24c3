#include "device/side_by_side.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "device/drive_exchange.h"

namespace trelmoss {
namespace {

// What the run and its readers share; a reader left behind by the deadline keeps it alive.
struct Readings {
  std::vector<OpenDrive> drives;  // never resized while readers run
  std::vector<bool> ended;
  ReadOptions options;
  std::mutex mutex;  // guards what follows, and `ended`
  std::condition_variable driveEnded;
  std::size_t next = 0;
  std::size_t endedCount = 0;
  bool givenUp = false;
};

// Takes the next drive not yet read until none is left, or the run has given up waiting.
void ReadInTurn(const std::shared_ptr<Readings>& readings) {
  std::unique_lock lock(readings->mutex);
  while (!readings->givenUp && readings->next < readings->drives.size()) {
    const std::size_t at = readings->next++;
    OpenDrive& drive = readings->drives[at];
    lock.unlock();
    ReadDrive(*drive.handle, drive.record, readings->options);
    drive.handle.reset();
    lock.lock();
    readings->ended[at] = true;
    ++readings->endedCount;
    readings->driveEnded.notify_all();
  }
}

// The readers that could be started; with none, the drives are read on this thread.
std::vector<std::thread> StartReaders(const std::shared_ptr<Readings>& readings) {
  const std::size_t count = std::clamp<std::size_t>(readings->options.jobs, 1, kMaxDrives);
  std::vector<std::thread> readers;
  try {
    while (readers.size() < std::min(count, readings->drives.size())) {
      readers.emplace_back(ReadInTurn, readings);
    }
  } catch (const std::system_error&) {  // no more threads to be had: the started ones go on
  }
  if (readers.empty()) ReadInTurn(readings);
  return readers;
}

}  // namespace

std::vector<std::optional<DriveRecord>> ReadSideBySide(std::vector<OpenDrive> drives,
                                                       ReadOptions options) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(options.deadlineSeconds);
  const auto readings = std::make_shared<Readings>();
  readings->ended.assign(drives.size(), false);
  readings->drives = std::move(drives);
  readings->options = options;
  std::vector<std::thread> readers = StartReaders(readings);

  std::unique_lock lock(readings->mutex);
  const bool allEnded = readings->driveEnded.wait_until(
      lock, deadline, [&readings] { return readings->endedCount == readings->drives.size(); });
  readings->givenUp = true;
  std::vector<std::optional<DriveRecord>> records;
  for (std::size_t at = 0; at < readings->drives.size(); ++at) {
    if (readings->ended[at]) {
      records.emplace_back(readings->drives[at].record);
    } else {
      records.emplace_back();
    }
  }
  lock.unlock();
  for (std::thread& reader : readers) {
    if (allEnded) {
      reader.join();
    } else {
      reader.detach();  // it may be caught in the kernel for minutes, or for good
    }
  }
  return records;
}

}  // namespace trelmoss
