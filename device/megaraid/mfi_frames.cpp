#include "device/megaraid/mfi_frames.h"

#include <algorithm>

#include "device/little_endian.h"

namespace trelmoss {
namespace {

// Frame commands and their fields (the firmware interface's header, little-endian).
constexpr std::uint8_t kMfiCmdPdScsiIo = 0x04;
constexpr std::uint8_t kMfiCmdDcmd = 0x05;
constexpr std::size_t kSenseLengthOffset = 0x01;  // pass-through: room for sense data
constexpr std::size_t kTargetOffset = 0x04;       // pass-through: the disk's device id, one byte
constexpr std::size_t kCdbLengthOffset = 0x06;
constexpr std::size_t kSgeCountOffset = 0x07;
constexpr std::size_t kFlagsOffset = 0x10;
constexpr std::size_t kDataLengthOffset = 0x14;
constexpr std::size_t kOpcodeOffset = 0x18;  // DCMD
constexpr std::size_t kCdbOffset = 0x20;     // pass-through
constexpr std::uint16_t kFrameDirectionRead = 0x0010;
constexpr std::uint32_t kDcmdPdGetList = 0x02010000;

// cmd_status values: done; the disk answered with a SCSI status other than GOOD.
constexpr std::uint8_t kMfiStatusOk = 0x00;
constexpr std::uint8_t kMfiStatusScsiDoneWithError = 0x2D;
constexpr std::uint8_t kScsiStatusCheckCondition = 0x02;

// The list: its size and count, then 24-byte entries: device id (0), enclosure id (2),
// enclosure index (4), slot (5), SCSI device type (6), port map (7), two SAS addresses.
constexpr std::size_t kListHeaderSize = PdListBytes(0);
constexpr std::size_t kListEntrySize = PdListBytes(1) - PdListBytes(0);
constexpr std::size_t kEntryTypeOffset = 6;
constexpr std::uint8_t kScsiTypeDisk = 0x00;

}  // namespace

MfiFrame BuildPdListFrame(std::uint32_t bytes) {
  MfiFrame frame{};
  frame[0] = kMfiCmdDcmd;
  frame[kSgeCountOffset] = 1;
  StoreLittleEndian<std::uint16_t>(frame.data() + kFlagsOffset, kFrameDirectionRead);
  StoreLittleEndian<std::uint32_t>(frame.data() + kDataLengthOffset, bytes);
  StoreLittleEndian<std::uint32_t>(frame.data() + kOpcodeOffset, kDcmdPdGetList);
  return frame;
}

std::optional<PdList> ParsePdList(std::span<const std::uint8_t> reply) {
  if (reply.size() < kListHeaderSize) return std::nullopt;
  PdList list;
  list.size = LoadLittleEndian<std::uint32_t>(reply.data() + 0);
  const std::size_t count = LoadLittleEndian<std::uint32_t>(reply.data() + 4);
  const std::size_t held = (reply.size() - kListHeaderSize) / kListEntrySize;
  if (list.size > reply.size() || count > held) return list;  // too small a buffer: ask again
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = kListHeaderSize + i * kListEntrySize;
    if (reply[entry + kEntryTypeOffset] != kScsiTypeDisk) continue;
    list.disks.push_back(LoadLittleEndian<std::uint16_t>(reply.data() + entry));
  }
  return list;
}

MfiFrame BuildPassThroughFrame(std::uint16_t deviceId, std::span<const std::uint8_t> cdb,
                               std::uint32_t dataBytes) {
  MfiFrame frame{};
  frame[0] = kMfiCmdPdScsiIo;
  frame[kSenseLengthOffset] = kMfiSenseBytes;
  frame[kTargetOffset] = static_cast<std::uint8_t>(deviceId);
  frame[kCdbLengthOffset] = static_cast<std::uint8_t>(std::min<std::size_t>(cdb.size(), 16));
  frame[kSgeCountOffset] = dataBytes > 0 ? 1 : 0;
  StoreLittleEndian<std::uint16_t>(frame.data() + kFlagsOffset,
                                   dataBytes > 0 ? kFrameDirectionRead : 0);
  StoreLittleEndian<std::uint32_t>(frame.data() + kDataLengthOffset, dataBytes);
  std::copy_n(cdb.begin(), frame[kCdbLengthOffset], frame.begin() + kCdbOffset);
  return frame;
}

bool PassThroughOutcome(std::uint8_t status, std::span<const std::uint8_t> sense,
                        ScsiOutcome& outcome) {
  if (status == kMfiStatusOk) {
    outcome = {};
    return true;
  }
  if (status != kMfiStatusScsiDoneWithError) return false;
  outcome = {kScsiStatusCheckCondition, 0, 0, sense};
  return true;
}

}  // namespace trelmoss
