#include "device/linux/megaraid_disk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "device/megaraid/mfi_frames.h"

namespace trelmoss {
namespace {

// The driver's MEGASAS_IOC_FIRMWARE packet: the host, where in the frame the driver puts its
// buffers' addresses and the caller its sense buffer's, the frame, then the caller's buffers.
#pragma pack(push, 1)
struct FirmwarePacket {
  std::uint16_t host;
  std::uint16_t padding;
  std::uint32_t sglOffset;
  std::uint32_t sgeCount;
  std::uint32_t senseOffset;
  std::uint32_t senseLength;
  std::uint8_t frame[kMfiFrameSize];
  iovec sgl[16];
};
#pragma pack(pop)
static_assert(offsetof(FirmwarePacket, frame) == 20);
constexpr unsigned long kIocFirmware = _IOWR('M', 1, FirmwarePacket);

constexpr const char* kNodeName = "/megaraid_sas_ioctl_node";
constexpr std::uint8_t kMfiStatusDeviceNotFound = 0x0C;
constexpr std::size_t kFirstListBytes = PdListBytes(32);
constexpr std::size_t kLargestListBytes = PdListBytes(1024);

// One frame to the controller of `host`, its data read into `data`; the frame's status byte
// comes back in it. `sense`, when given, is where the driver copies the disk's sense data.
bool SendFrame(int node, unsigned host, MfiFrame& frame, std::size_t sglOffset,
               std::span<std::uint8_t> data, std::span<std::uint8_t> sense, int& error) {
  FirmwarePacket packet{};
  packet.host = static_cast<std::uint16_t>(host);
  packet.sglOffset = static_cast<std::uint32_t>(sglOffset);
  packet.sgeCount = data.empty() ? 0 : 1;
  packet.sgl[0] = {data.data(), data.size()};
  if (!sense.empty()) {
    packet.senseOffset = kPassThroughSenseOffset;
    packet.senseLength = static_cast<std::uint32_t>(sense.size());
    const auto address = reinterpret_cast<std::uint64_t>(sense.data());
    std::memcpy(frame.data() + kPassThroughSenseOffset, &address, sizeof address);
  }
  std::copy(frame.begin(), frame.end(), packet.frame);
  if (::ioctl(node, kIocFirmware, &packet) != 0) {
    error = errno;
    return false;
  }
  frame[kMfiStatusOffset] = packet.frame[kMfiStatusOffset];
  return true;
}

std::string ReadWord(const std::string& path) {
  std::ifstream file(path);
  std::string word;
  file >> word;
  return word;
}

// The major number the driver registered its management device under.
int MajorOfDriver(const std::string& procRoot) {
  std::ifstream devices(procRoot + "/devices");
  for (std::string line; std::getline(devices, line);) {  // "Character devices:", " 10 misc", ...
    int number = -1;
    char name[64] = {};
    if (std::sscanf(line.c_str(), "%d %63s", &number, name) == 2 &&
        std::string(name) == "megaraid_sas_ioctl") {
      return number;
    }
  }
  return -1;
}

}  // namespace

std::vector<unsigned> FindMegaraidHosts(const std::string& sysRoot) {
  std::vector<unsigned> hosts;
  struct stat driver {};
  if (::stat((sysRoot + "/module/megaraid_sas").c_str(), &driver) != 0) return hosts;  // not loaded
  const std::string folder = sysRoot + "/class/scsi_host";
  DIR* directory = ::opendir(folder.c_str());
  if (directory == nullptr) return hosts;
  while (const dirent* entry = ::readdir(directory)) {
    const std::string name = entry->d_name;
    if (name.rfind("host", 0) != 0 || name.size() == 4) continue;
    if (ReadWord(folder + "/" + name + "/proc_name") != "megaraid_sas") continue;
    hosts.push_back(static_cast<unsigned>(std::stoul(name.substr(4))));
  }
  ::closedir(directory);
  std::sort(hosts.begin(), hosts.end());
  return hosts;
}

int OpenMegaraidNode(const std::string& procRoot, const std::string& devRoot, int& error) {
  const std::string node = devRoot + kNodeName;
  int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    const int major = MajorOfDriver(procRoot);
    if (major >= 0 &&
        ::mknod(node.c_str(), S_IFCHR | 0600, makedev(static_cast<unsigned>(major), 0)) != 0 &&
        errno != EEXIST) {
      error = errno;
      return -1;
    }
    fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
  }
  if (fd < 0) error = errno;
  return fd;
}

std::optional<std::vector<std::uint16_t>> ListMegaraidDisks(int node, unsigned host, int& error) {
  for (std::size_t bytes = kFirstListBytes;;) {
    std::vector<std::uint8_t> reply(bytes);
    MfiFrame frame = BuildPdListFrame(static_cast<std::uint32_t>(bytes));
    if (!SendFrame(node, host, frame, kDcmdSglOffset, reply, {}, error)) return std::nullopt;
    const std::optional<PdList> list = ParsePdList(reply);
    if (frame[kMfiStatusOffset] != 0 || !list) {
      error = EIO;
      return std::nullopt;
    }
    if (list->size <= bytes) return list->disks;
    if (list->size > kLargestListBytes) {  // no controller has that many disks: a broken answer
      error = EIO;
      return std::nullopt;
    }
    bytes = list->size;  // the list did not fit: ask again with room for it all
  }
}

std::string MegaraidPath(const std::string& devRoot, unsigned host, std::uint16_t deviceId) {
  return devRoot + "/bus/" + std::to_string(host) + " megaraid," + std::to_string(deviceId);
}

MegaraidDisk::MegaraidDisk(int node, unsigned host, std::uint16_t deviceId,
                           std::uint32_t deviceNumber, std::string name)
    : ScsiCarriedDisk(BridgeTunnel::kNone, {EIO, EINVAL}, [](int) { return false; }),
      node_(node),
      host_(host),
      deviceId_(deviceId),
      deviceNumber_(deviceNumber),
      name_(std::move(name)) {}

MegaraidDisk::~MegaraidDisk() { ::close(node_); }

bool MegaraidDisk::GetDeviceNumber(std::uint32_t& number, int& /*error*/) {
  number = deviceNumber_;
  return true;
}

bool MegaraidDisk::MeansTimeout(int error) const { return error == ETIMEDOUT || error == EINTR; }

bool MegaraidDisk::SendScsiCommand(std::span<const std::uint8_t> cdb,
                                   std::span<std::uint8_t> dataIn, ScsiOutcome& outcome,
                                   int& error) {
  MfiFrame frame = BuildPassThroughFrame(deviceId_, cdb, static_cast<std::uint32_t>(dataIn.size()));
  std::fill(std::begin(sense_), std::end(sense_), 0);
  if (!SendFrame(node_, host_, frame, kPassThroughSglOffset, dataIn, sense_, error)) return false;
  if (PassThroughOutcome(frame[kMfiStatusOffset], sense_, outcome)) return true;
  error = frame[kMfiStatusOffset] == kMfiStatusDeviceNotFound ? ENODEV : EIO;
  return false;
}

bool MegaraidDisk::SendScsiDataOut(std::span<const std::uint8_t> /*cdb*/,
                                   std::span<const std::uint8_t> /*dataOut*/,
                                   ScsiOutcome& /*outcome*/, int& error) {
  error = EINVAL;
  return false;
}

}  // namespace trelmoss
