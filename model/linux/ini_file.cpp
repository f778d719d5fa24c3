// Linux has no profile functions: the definitions file is read by our own reader, piece by
// piece into a DefinitionsDigest, so that memory stays bounded whatever the file holds. Only a
// regular file is read; a folder, a FIFO or a device at the path (which could block the run or
// never end) is, like a file that cannot be read, taken as missing.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "model/definitions_digest.h"
#include "model/ini_reader.h"

namespace trelmoss {
namespace {

// Reads `fd` piece by piece into `digest`. False on a read error.
bool ReadInto(int fd, DefinitionsDigest& digest) {
  char piece[65536];
  for (;;) {
    const ssize_t got = ::read(fd, piece, sizeof piece);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    digest.Feed(std::string_view(piece, static_cast<std::size_t>(got)));
  }
  digest.Finish();
  return true;
}

// The file's definitions, or none when it is not a regular file or reading it fails part-way.
std::unique_ptr<DefinitionsDigest> ReadRegularFile(const std::string& path) {
  auto digest = std::make_unique<DefinitionsDigest>();
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return digest;
  struct stat status {};
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && !ReadInto(fd, *digest)) {
    digest = std::make_unique<DefinitionsDigest>();  // an I/O error: as if there were no file
  }
  ::close(fd);
  return digest;
}

}  // namespace

std::unique_ptr<IniReader> OpenIniFile(const std::string& path) { return ReadRegularFile(path); }

}  // namespace trelmoss
