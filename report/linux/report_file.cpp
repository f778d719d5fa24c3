#include "report/report_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "report/linux/report_target.h"

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

// A new report gets the permissions of any newly created file: 0666 less the umask.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// The names of the extended attributes of `path` (ACLs among them), empty where there are none
// or the file system has no such thing.
std::vector<std::string> AttributeNames(const std::string& path) {
  std::vector<char> list;
  for (;;) {
    const ssize_t size = ::listxattr(path.c_str(), nullptr, 0);
    if (size <= 0) return {};
    list.resize(static_cast<std::size_t>(size));
    const ssize_t got = ::listxattr(path.c_str(), list.data(), list.size());
    if (got >= 0) {
      list.resize(static_cast<std::size_t>(got));
      break;
    }
    if (errno != ERANGE) return {};  // changed between the two calls: ask again
  }
  std::vector<std::string> names;
  for (std::size_t at = 0; at < list.size();) {
    names.emplace_back(list.data() + at);
    at += names.back().size() + 1;
  }
  return names;
}

// Extended attributes and the POSIX ACL (kept as one) go over as far as this process may set
// them; one it may not (a "trusted." name without privilege, a file system without them) is
// left behind without failing the report, as the owner is.
void CopyExtendedAttributes(const std::string& from, int to) {
  for (const std::string& name : AttributeNames(from)) {
    const ssize_t size = ::getxattr(from.c_str(), name.c_str(), nullptr, 0);
    if (size < 0) continue;
    std::vector<char> value(static_cast<std::size_t>(size));
    const ssize_t got = ::getxattr(from.c_str(), name.c_str(), value.data(), value.size());
    if (got >= 0) ::fsetxattr(to, name.c_str(), value.data(), static_cast<std::size_t>(got), 0);
  }
}

int GiveNewFileMode(int fd) { return ::fchmod(fd, NewFileMode()) == 0 ? 0 : errno; }

// The replacement takes over what an administrator set on the earlier report. The owner first,
// since changing it clears the set-id bits; where the process may not give the file away it
// still tries the group, and the mode is kept either way.
int TakeOverMetadata(const std::string& earlier, const struct stat& status, int fd) {
  if (::fchown(fd, status.st_uid, status.st_gid) != 0) {
    if (::fchown(fd, static_cast<uid_t>(-1), status.st_gid) != 0) {
      // Not a failure: the report is as readable to its owner as before.
    }
  }
  if (::fchmod(fd, status.st_mode & 07777) != 0) return errno;
  CopyExtendedAttributes(earlier, fd);
  return 0;
}

// Each step returns 0 or the error number, taken before any clean-up can change errno.
int WriteInPlace(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return errno;
  const int writeError = WriteAll(fd, bytes) ? 0 : errno;
  const int closeError = ::close(fd) == 0 ? 0 : errno;
  return writeError != 0 ? writeError : closeError;
}

// `earlier` is the report being replaced, or null for a new one.
int ReplaceAtomically(const std::string& target, const struct stat* earlier,
                      std::string_view bytes) {
  const std::string folder = DirectoryOf(target);
  // A short name of fixed length, so that any name the folder accepts can be the report's.
  TemporaryFile temporary(folder + "/.trelmoss-XXXXXX");
  if (temporary.fd() < 0) return errno;
  const int metadataError = earlier != nullptr ? TakeOverMetadata(target, *earlier, temporary.fd())
                                               : GiveNewFileMode(temporary.fd());
  if (metadataError != 0) return metadataError;
  if (!WriteAll(temporary.fd(), bytes)) return errno;
  if (::fsync(temporary.fd()) != 0) return errno;
  if (!temporary.Close()) return errno;
  if (::rename(temporary.path().c_str(), target.c_str()) != 0) return errno;
  temporary.Release();
  const int directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    ::fsync(directory);  // makes the rename durable; the report is already in place either way
    ::close(directory);
  }
  return 0;
}

int WriteTo(const std::string& path, std::string_view bytes) {
  if (path.empty()) return ENOENT;
  std::string target;
  if (const int error = FollowLinks(path, target); error != 0) return error;
  struct stat status {};
  if (::lstat(target.c_str(), &status) != 0) {
    return errno == ENOENT ? ReplaceAtomically(target, nullptr, bytes) : errno;
  }
  if (S_ISDIR(status.st_mode)) return EISDIR;
  // A terminal, a pipe or a device named as the target is written directly: a rename would
  // replace the node itself.
  if (!S_ISREG(status.st_mode)) return WriteInPlace(target, bytes);
  return ReplaceAtomically(target, &status, bytes);
}

}  // namespace

bool WriteReportFile(const std::string& path, std::string_view bytes, int& error) {
  error = WriteTo(path, bytes);
  return error == 0;
}

}  // namespace trelmoss
