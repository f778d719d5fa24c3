// Linux has no profile functions: the definitions file is read by our own reader. Only a
// regular file is read; a folder, a FIFO or a device at the path (which could block the run or
// never end) is, like a file that cannot be read, taken as missing.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "model/ini_document.h"
#include "model/ini_encoding.h"
#include "model/ini_reader.h"

namespace trelmoss {
namespace {

// Reads `fd` piece by piece into `ini`. A plain file streams; one with a byte-order mark is
// gathered whole first, since its conversion needs the complete text. False on a read error.
bool ReadInto(int fd, IniDocument& ini) {
  char piece[65536];
  std::string whole;
  bool first = true;
  bool convert = false;
  for (;;) {
    const ssize_t got = ::read(fd, piece, sizeof piece);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    const std::string_view text(piece, static_cast<std::size_t>(got));
    if (first) convert = HasByteOrderMark(text);
    first = false;
    if (convert) {
      whole.append(text);
    } else {
      ini.Feed(text);
    }
  }
  if (convert) ini = IniDocument(whole);
  ini.Finish();
  return true;
}

// The file's definitions, or none when it is not a regular file or reading it fails part-way.
std::unique_ptr<IniDocument> ReadRegularFile(const std::string& path) {
  auto ini = std::make_unique<IniDocument>();
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return ini;
  struct stat status {};
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && !ReadInto(fd, *ini)) {
    ini = std::make_unique<IniDocument>();  // an I/O error: as if there were no file
  }
  ::close(fd);
  return ini;
}

}  // namespace

std::unique_ptr<IniReader> OpenIniFile(const std::string& path) { return ReadRegularFile(path); }

}  // namespace trelmoss
