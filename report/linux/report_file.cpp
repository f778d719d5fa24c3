#include "report/report_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace trelmoss {
namespace {

// Closes the descriptor and removes the temporary file unless it was handed over.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string pattern) : path_(std::move(pattern)) {
    fd_ = ::mkstemp(path_.data());
    if (fd_ < 0) path_.clear();
  }
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }
  void Release() { path_.clear(); }

 private:
  std::string path_;
  int fd_ = -1;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A new report gets the permissions of any newly created file: 0666 less the umask.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Each step returns 0 or the error number, taken before any clean-up can change errno.
int WriteInPlace(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return errno;
  const int writeError = WriteAll(fd, bytes) ? 0 : errno;
  const int closeError = ::close(fd) == 0 ? 0 : errno;
  return writeError != 0 ? writeError : closeError;
}

int ReplaceAtomically(const std::string& target, std::string_view bytes) {
  TemporaryFile temporary(target + ".XXXXXX");
  if (temporary.fd() < 0) return errno;
  if (::fchmod(temporary.fd(), NewFileMode()) != 0) return errno;
  if (!WriteAll(temporary.fd(), bytes)) return errno;
  if (::fsync(temporary.fd()) != 0) return errno;
  if (!temporary.Close()) return errno;
  if (::rename(temporary.path().c_str(), target.c_str()) != 0) return errno;
  temporary.Release();
  const int directory = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    ::fsync(directory);  // makes the rename durable; the report is already in place either way
    ::close(directory);
  }
  return 0;
}

// Through a symbolic link the report replaces the file the link names, not the link.
std::string ResolvedTarget(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                       &std::free);
  return resolved ? std::string(resolved.get()) : path;
}

}  // namespace

bool WriteReportFile(const std::string& path, std::string_view bytes, int& error) {
  struct stat status {};
  if (path.empty()) {
    error = ENOENT;
  } else if (::stat(path.c_str(), &status) != 0) {
    error = errno == ENOENT ? ReplaceAtomically(path, bytes) : errno;
  } else if (S_ISDIR(status.st_mode)) {
    error = EISDIR;
  } else if (!S_ISREG(status.st_mode)) {
    error = WriteInPlace(path, bytes);
  } else {
    error = ReplaceAtomically(ResolvedTarget(path), bytes);
  }
  return error == 0;
}

}  // namespace trelmoss
