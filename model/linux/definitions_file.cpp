// Linux has no profile functions: the definitions file is read by our own reader, piece by
// piece into a DefinitionsCollector, so that memory stays bounded whatever the file holds. Only a
// regular file is read; a folder, a FIFO or a device at the path (which could block the run or
// never end) is, like a file that cannot be read, taken as missing.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "model/definitions_collector.h"

namespace trelmoss {
namespace {

// Reads `fd` piece by piece into `collector`. False on a read error.
bool ReadInto(int fd, DefinitionsCollector& collector) {
  char piece[65536];
  for (;;) {
    const ssize_t got = ::read(fd, piece, sizeof piece);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    collector.Feed(std::string_view(piece, static_cast<std::size_t>(got)));
  }
  collector.Finish();
  return true;
}

// The file's definitions, or none when it is not a regular file or reading it fails part-way.
std::unique_ptr<DefinitionsCollector> ReadRegularFile(const std::string& path) {
  auto collector = std::make_unique<DefinitionsCollector>();
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return collector;
  struct stat status {};
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && !ReadInto(fd, *collector)) {
    collector = std::make_unique<DefinitionsCollector>();  // an I/O error: as if there were no file
  }
  ::close(fd);
  return collector;
}

}  // namespace

std::unique_ptr<DefinitionsFile> OpenDefinitionsFile(const std::string& path) {
  return ReadRegularFile(path);
}

}  // namespace trelmoss
