#include "report/linux/report_target.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace trelmoss {
namespace {

// The kernel gives up on a path after 40 links; so do we, with the same error.
constexpr int kMaxLinks = 40;

}  // namespace

int ReadSymbolicLink(const std::string& path, std::string& contents) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (length < 0) return errno;
    if (static_cast<std::size_t>(length) < buffer.size()) {
      contents.assign(buffer.data(), static_cast<std::size_t>(length));
      return 0;
    }
    buffer.resize(buffer.size() * 2);  // may have been cut: read again into more room
  }
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

int FollowLinks(const std::string& path, std::string& target) {
  target = path;
  for (int links = 0; links <= kMaxLinks; ++links) {
    struct stat status {};
    // A name that is missing (or whose folder is) is where a new report goes; the write that
    // follows meets any error of its folder.
    if (::lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return 0;
    std::string next;
    if (const int error = ReadSymbolicLink(target, next); error != 0) return error;
    target = !next.empty() && next.front() == '/' ? next : DirectoryOf(target) + "/" + next;
  }
  return ELOOP;
}

}  // namespace trelmoss
