#include "device/megaraid/mfi_frames.h"

#include <algorithm>

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

void PutLittleEndian(MfiFrame& frame, std::size_t at, std::uint32_t value, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i)
    frame[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t LittleEndian(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i)
    value |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
  return value;
}

}  // namespace

MfiFrame BuildPdListFrame(std::uint32_t bytes) {
  MfiFrame frame{};
  frame[0] = kMfiCmdDcmd;
  frame[kSgeCountOffset] = 1;
  PutLittleEndian(frame, kFlagsOffset, kFrameDirectionRead, 2);
  PutLittleEndian(frame, kDataLengthOffset, bytes, 4);
  PutLittleEndian(frame, kOpcodeOffset, kDcmdPdGetList, 4);
  return frame;
}

std::optional<PdList> ParsePdList(std::span<const std::uint8_t> reply) {
  if (reply.size() < kListHeaderSize) return std::nullopt;
  PdList list;
  list.size = LittleEndian(reply, 0, 4);
  const std::size_t count = LittleEndian(reply, 4, 4);
  const std::size_t held = (reply.size() - kListHeaderSize) / kListEntrySize;
  if (list.size > reply.size() || count > held) return list;  // too small a buffer: ask again
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = kListHeaderSize + i * kListEntrySize;
    if (reply[entry + kEntryTypeOffset] != kScsiTypeDisk) continue;
    list.disks.push_back(static_cast<std::uint16_t>(LittleEndian(reply, entry, 2)));
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
  PutLittleEndian(frame, kFlagsOffset, dataBytes > 0 ? kFrameDirectionRead : 0, 2);
  PutLittleEndian(frame, kDataLengthOffset, dataBytes, 4);
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
