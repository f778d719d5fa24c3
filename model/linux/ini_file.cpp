// Linux has no profile functions: the definitions file is read by our own reader. Only a
// regular file is read; a folder, a FIFO or a device at the path (which could block the run or
// never end) is, like a file that cannot be read, taken as missing.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "model/ini_document.h"
#include "model/ini_reader.h"

namespace trelmoss {
namespace {

// The whole file, or "" when it is not a regular file or reading it fails part-way.
std::string ReadRegularFile(const std::string& path) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  struct stat status {};
  std::string text;
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
    char chunk[65536];
    for (;;) {
      const ssize_t got = ::read(fd, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        text.clear();  // an I/O error: as if there were no file
        break;
      }
      if (got == 0) break;
      text.append(chunk, static_cast<std::size_t>(got));
    }
  }
  ::close(fd);
  return text;
}

}  // namespace

std::unique_ptr<IniReader> OpenIniFile(const std::string& path) {
  return std::make_unique<IniDocument>(ReadRegularFile(path));
}

}  // namespace trelmoss
