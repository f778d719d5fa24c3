#include "report/linux/report_target.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "report/report_file.h"

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

// A file both names reach is one inode; a file not there yet is one place once the links that
// lead to it and every "." and ".." are resolved.
bool NameTheSameFile(const std::string& first, const std::string& second) {
  std::string a;
  std::string b;
  if (FollowLinks(first, a) != 0 || FollowLinks(second, b) != 0) return false;
  struct stat statusA {};
  struct stat statusB {};
  const bool aExists = ::stat(a.c_str(), &statusA) == 0;
  const bool bExists = ::stat(b.c_str(), &statusB) == 0;
  if (aExists && bExists) {
    return statusA.st_dev == statusB.st_dev && statusA.st_ino == statusB.st_ino;
  }
  if (aExists != bExists) return false;
  std::error_code error;
  const auto placeA = std::filesystem::weakly_canonical(std::filesystem::absolute(a), error);
  const auto placeB = std::filesystem::weakly_canonical(std::filesystem::absolute(b), error);
  return placeA == placeB;
}

}  // namespace trelmoss
