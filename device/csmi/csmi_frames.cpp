#include "device/csmi/csmi_frames.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "device/little_endian.h"

namespace trelmoss {
namespace {

// SRB_IO_CONTROL: HeaderLength, the 8-byte Signature, Timeout, ControlCode, ReturnCode, Length.
constexpr std::size_t kSignatureOffset = 4;
constexpr std::size_t kTimeoutOffset = 12;
constexpr std::size_t kCodeOffset = 16;
constexpr std::size_t kReturnCodeOffset = 20;
constexpr std::size_t kLengthOffset = 24;

// CSMI_SAS_PHY_INFO: bNumberOfPhys, three reserved bytes, then 32 entries of 64 bytes. An entry
// is the PHY's own CSMI_SAS_IDENTIFY (28 bytes), bPortIdentifier and seven link bytes, then the
// attached device's CSMI_SAS_IDENTIFY. In an identify: bDeviceType (0), bTargetPortProtocol
// (3), bSASAddress (12, 8 bytes), bPhyIdentifier (20).
constexpr std::size_t kPhyCountOffset = kCsmiHeaderBytes;
constexpr std::size_t kPhyEntriesOffset = kCsmiHeaderBytes + 4;
constexpr std::size_t kPhyEntryBytes = 64;
constexpr std::size_t kMaxPhys = 32;
constexpr std::size_t kAttachedOffset = 36;
constexpr std::size_t kDeviceTypeOffset = 0;
constexpr std::size_t kTargetProtocolOffset = 3;
constexpr std::size_t kSasAddressOffset = 12;
constexpr std::size_t kPhyIdentifierOffset = 20;
constexpr std::size_t kPortIdentifierOffset = 28;
constexpr std::uint8_t kNoDeviceAttached = 0x00;
constexpr std::uint8_t kProtocolSata = 0x01;
constexpr std::uint8_t kProtocolStp = 0x04;

// CSMI_SAS_STP_PASSTHRU after the header: bPhyIdentifier, bPortIdentifier, bConnectionRate (0,
// negotiated), a reserved byte, bDestinationSASAddress, four reserved bytes, the 20-byte
// bCommandFIS, uFlags, uDataLength; then the status: bConnectionStatus, three reserved bytes,
// the 20-byte bStatusFIS, uSCR[16], uDataBytes; then the data.
constexpr std::size_t kStpPhyOffset = 28;
constexpr std::size_t kStpPortOffset = 29;
constexpr std::size_t kStpAddressOffset = 32;
constexpr std::size_t kStpCommandFisOffset = 44;
constexpr std::size_t kStpFlagsOffset = 64;
constexpr std::size_t kStpDataLengthOffset = 68;
constexpr std::size_t kStpStatusFisOffset = 76;
constexpr std::uint32_t kStpRead = 0x01;         // CSMI_SAS_STP_READ
constexpr std::uint32_t kStpUnspecified = 0x04;  // no data
constexpr std::uint32_t kStpPio = 0x10;

// The register host-to-device FIS: type 27h, C bit (a command, not a control update), command,
// features, LBA low, mid and high, device, then the 48-bit halves (zero here), count.
constexpr std::uint8_t kFisRegisterHostToDevice = 0x27;
constexpr std::uint8_t kFisCommandBit = 0x80;
constexpr std::size_t kFisCountOffset = 12;
// The device-to-host FIS: type, flags, status, error, LBA low, mid, high, device, ..., count.
// Bytes 2 to 13 are the registers; all zero, they were not carried back.
constexpr std::size_t kFisRegistersEnd = 14;

const char* SignatureOf(CsmiCode code) {
  return code == CsmiCode::kDriverInfo ? "CSMIALL" : "CSMISAS";
}

// An entry's field, for each used entry, in the table's order.
using PortField = std::size_t;
constexpr std::array<PortField, 3> kPortFields = {kAttachedOffset + kPhyIdentifierOffset,
                                                  kPhyIdentifierOffset, kPortIdentifierOffset};

std::span<const std::uint8_t> Entry(std::span<const std::uint8_t> frame, std::size_t index) {
  return frame.subspan(kPhyEntriesOffset + index * kPhyEntryBytes, kPhyEntryBytes);
}

// The numbers `field` gives the used entries, when it tells them apart and is not their place.
std::optional<std::vector<unsigned>> NumbersBy(std::span<const std::uint8_t> frame,
                                               const std::vector<std::size_t>& used,
                                               PortField field) {
  std::vector<unsigned> numbers;
  bool notThePlace = false;
  for (const std::size_t index : used) {
    const unsigned number = Entry(frame, index)[field];
    if (number >= kMaxPhys || std::find(numbers.begin(), numbers.end(), number) != numbers.end()) {
      return std::nullopt;
    }
    notThePlace |= number != index;
    numbers.push_back(number);
  }
  if (!notThePlace) return std::nullopt;
  return numbers;
}

bool HasSataDrive(std::span<const std::uint8_t> entry) {
  const std::uint8_t protocol = entry[kAttachedOffset + kTargetProtocolOffset];
  return entry[kAttachedOffset + kDeviceTypeOffset] != kNoDeviceAttached &&
         (protocol == kProtocolSata || protocol == kProtocolStp);
}

}  // namespace

std::vector<std::uint8_t> BuildCsmiFrame(CsmiCode code, std::size_t bytes, unsigned seconds) {
  std::vector<std::uint8_t> frame(bytes, 0);
  StoreLittleEndian<std::uint32_t>(frame.data(), kCsmiHeaderBytes);
  std::memcpy(frame.data() + kSignatureOffset, SignatureOf(code), 7);
  StoreLittleEndian<std::uint32_t>(frame.data() + kTimeoutOffset, seconds);
  StoreLittleEndian<std::uint32_t>(frame.data() + kCodeOffset, static_cast<std::uint32_t>(code));
  StoreLittleEndian<std::uint32_t>(frame.data() + kLengthOffset,
                                   static_cast<std::uint32_t>(bytes - kCsmiHeaderBytes));
  return frame;
}

std::uint32_t CsmiReturnCode(std::span<const std::uint8_t> frame) {
  return LoadLittleEndian<std::uint32_t>(frame.data() + kReturnCodeOffset);
}

std::vector<CsmiPort> SataPortsOf(std::span<const std::uint8_t> frame) {
  std::vector<CsmiPort> ports;
  if (frame.size() < kCsmiPhyInfoBytes || frame[kPhyCountOffset] > kMaxPhys) return ports;
  // Drivers list empty hot-plug ports as well; an entry with no PHY of its own is no port.
  std::vector<std::size_t> used;
  for (std::size_t index = 0; index < kMaxPhys; ++index) {
    if (Entry(frame, index)[kDeviceTypeOffset] != kNoDeviceAttached) used.push_back(index);
  }
  std::optional<std::vector<unsigned>> numbers;
  for (const PortField field : kPortFields) {
    if ((numbers = NumbersBy(frame, used, field))) break;
  }
  for (std::size_t at = 0; at < used.size(); ++at) {
    const std::span<const std::uint8_t> entry = Entry(frame, used[at]);
    if (!HasSataDrive(entry)) continue;
    CsmiPort port{numbers ? (*numbers)[at] : static_cast<unsigned>(used[at]),
                  entry[kPhyIdentifierOffset], entry[kPortIdentifierOffset]};
    std::memcpy(port.sasAddress, entry.data() + kAttachedOffset + kSasAddressOffset, 8);
    ports.push_back(port);
  }
  std::sort(ports.begin(), ports.end(),
            [](const CsmiPort& a, const CsmiPort& b) { return a.number < b.number; });
  return ports;
}

std::vector<std::uint8_t> BuildStpFrame(const CsmiPort& port, const AtaCommand& command,
                                        unsigned seconds) {
  const std::size_t dataBytes = command.readsSector ? kSectorSize : 0;
  std::vector<std::uint8_t> frame =
      BuildCsmiFrame(CsmiCode::kStpPassThrough, kCsmiStpDataOffset + dataBytes, seconds);
  frame[kStpPhyOffset] = port.phyIdentifier;
  frame[kStpPortOffset] = port.portIdentifier;
  std::memcpy(frame.data() + kStpAddressOffset, port.sasAddress, 8);
  const AtaRegisters& registers = command.registers;
  const std::uint8_t fis[] = {
      kFisRegisterHostToDevice, kFisCommandBit,        registers.command,      registers.features,
      registers.sectorNumber,   registers.cylinderLow, registers.cylinderHigh, registers.driveHead};
  std::memcpy(frame.data() + kStpCommandFisOffset, fis, sizeof fis);
  frame[kStpCommandFisOffset + kFisCountOffset] = registers.sectorCount;
  StoreLittleEndian<std::uint32_t>(frame.data() + kStpFlagsOffset,
                                   kStpPio | (dataBytes ? kStpRead : kStpUnspecified));
  StoreLittleEndian<std::uint32_t>(frame.data() + kStpDataLengthOffset,
                                   static_cast<std::uint32_t>(dataBytes));
  return frame;
}

bool StpStatusRegisters(std::span<const std::uint8_t> frame, AtaRegisters& returned) {
  const std::span<const std::uint8_t> fis = frame.subspan(kStpStatusFisOffset, kFisRegistersEnd);
  if (std::all_of(fis.begin() + 2, fis.end(), [](std::uint8_t byte) { return byte == 0; })) {
    return false;
  }
  returned = {fis[3], fis[kFisCountOffset], fis[4], fis[5], fis[6], fis[7], fis[2]};
  return true;
}

}  // namespace trelmoss
