#include "app/platform.h"

#include <fcntl.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "device/linux/linux_disk_system.h"

namespace trelmoss {
namespace {

// What the kernel appends to /proc/self/exe once the file has been replaced or removed, as a
// package upgrade does; the name then leads to the new file, beside its definitions.
constexpr std::string_view kDeletedSuffix = " (deleted)";

// The name the program was started by, as the kernel handed it over, made absolute.
std::string StartedAs() {
  const auto name = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
  if (name == nullptr || *name == '\0') return {};
  const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(name, nullptr), &std::free);
  if (resolved) return resolved.get();
  if (*name == '/') return name;
  const std::unique_ptr<char, decltype(&std::free)> folder(::getcwd(nullptr, 0), &std::free);
  return folder ? std::string(folder.get()) + "/" + name : std::string(name);
}

}  // namespace

void PrepareProcess() {
  std::signal(SIGPIPE, SIG_IGN);
  // A stream the caller closed would be the next descriptor opened: a disk or the report would
  // then receive the messages. /dev/null takes its place.
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0) continue;
    const int placeholder = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (placeholder >= 0 && placeholder != fd) {
      ::dup2(placeholder, fd);
      ::close(placeholder);
    }
  }
}

std::string ExecutablePath() {
  std::error_code error;
  std::string path = std::filesystem::read_symlink("/proc/self/exe", error).string();
  if (error || path.empty()) return StartedAs();
  if (path.size() > kDeletedSuffix.size() && path.ends_with(kDeletedSuffix)) {
    path.resize(path.size() - kDeletedSuffix.size());
  }
  return path;
}

std::unique_ptr<DiskSystem> MakeDiskSystem() {
  return std::make_unique<LinuxDiskSystem>("/sys", "/dev");
}

// The package's systemd timer runs the program hourly; nothing here takes its place.
bool RegisterHourlyTask(const std::string& /*taskXml*/, std::string& said) {
  said =
      "nothing scheduled: on Linux the package's timer runs trelmoss hourly "
      "(systemctl enable --now trelmoss.timer)";
  return false;
}

bool DeleteHourlyTask(std::string& said) {
  said =
      "nothing unscheduled: on Linux the package's timer runs trelmoss hourly "
      "(systemctl disable --now trelmoss.timer)";
  return false;
}

// A service's output already goes to the journal.
void LogEvent(bool /*error*/, const std::string& /*text*/) {}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace trelmoss
