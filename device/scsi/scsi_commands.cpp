#include "device/scsi/scsi_commands.h"

#include <algorithm>

namespace trelmoss {
namespace {

constexpr std::uint8_t kAtaPassThrough16 = 0x85;
constexpr std::uint8_t kAtaPassThrough12 = 0xA1;
constexpr std::uint8_t kInquiry = 0x12;
constexpr std::uint8_t kRequestSense = 0x03;
constexpr std::uint8_t kLogSense = 0x4D;
constexpr std::uint8_t kReadDefectData10 = 0x37;
constexpr std::uint8_t kReadDefectData12 = 0xB7;
// LOG SENSE byte 2: PC (bits 7..6) 01b, the cumulative values.
constexpr std::uint8_t kCumulativeValues = 0x40;
// READ DEFECT DATA: REQ_GLIST (bit 3) and the bytes-from-index format (100b).
constexpr std::uint8_t kGrownListBytesFromIndex = 0x08 | 0x04;
constexpr std::uint8_t kSenseUnitAttention = 0x6;

// ATA PASS-THROUGH byte 1: PROTOCOL in bits 4..1.
constexpr std::uint8_t kProtocolNonData = 3 << 1;
constexpr std::uint8_t kProtocolPioDataIn = 4 << 1;
// Byte 2: T_DIR (bit 3) from the device, BYTE_BLOCK (bit 2) counting in blocks, and T_LENGTH
// (bits 1..0) = 2, the length is in the sector count field.
constexpr std::uint8_t kTransferOneBlockIn = 0x08 | 0x04 | 0x02;
// Byte 2, bit 5: CK_COND, return the ATA registers as sense data.
constexpr std::uint8_t kCheckCondition = 0x20;

constexpr std::uint8_t kStatusGood = 0x00;
constexpr std::uint8_t kStatusCheckCondition = 0x02;
constexpr std::uint16_t kDriverSenseValid = 0x08;  // DRIVER_SENSE: only says sense is there
constexpr std::uint8_t kSenseNoSense = 0x0;
constexpr std::uint8_t kSenseRecoveredError = 0x1;
// ASC/ASCQ 00h/1Dh: ATA PASS THROUGH INFORMATION AVAILABLE.
constexpr std::uint8_t kAscAtaInformation = 0x00;
constexpr std::uint8_t kAscqAtaInformation = 0x1D;
constexpr std::uint8_t kAtaStatusReturnDescriptor = 0x09;
constexpr std::uint8_t kAtaStatusErr = 0x01;
constexpr std::uint8_t kAtaStatusDeviceFault = 0x20;

struct SenseSummary {
  std::uint8_t key = 0xFF;
  std::uint8_t asc = 0xFF;
  std::uint8_t ascq = 0xFF;
  bool hasRegisters = false;  // the sense carries the registers the drive returned
  AtaRegisters registers;     // error in `features`, status in `command`
};

bool CarriesAtaInformation(const SenseSummary& sense) {
  return sense.asc == kAscAtaInformation && sense.ascq == kAscqAtaInformation;
}

// Descriptor format (response codes 72h/73h): header of 8 bytes, then descriptors. The ATA
// Status Return descriptor holds ERROR at +3, COUNT (7:0) +5, LBA (7:0) +7, (15:8) +9,
// (23:16) +11, DEVICE +12 and STATUS +13.
SenseSummary ReadDescriptorSense(std::span<const std::uint8_t> sense) {
  SenseSummary summary{static_cast<std::uint8_t>(sense[1] & 0x0F), sense[2], sense[3], false, {}};
  std::size_t at = 8;
  const std::size_t end = std::min<std::size_t>(sense.size(), 8u + sense[7]);
  while (at + 2 <= end) {
    const std::size_t length = 2u + sense[at + 1];
    if (sense[at] == kAtaStatusReturnDescriptor && at + 14 <= end) {
      const std::uint8_t* d = sense.data() + at;
      summary.hasRegisters = true;
      summary.registers = {d[3], d[5], d[7], d[9], d[11], d[12], d[13]};
    }
    at += length;
  }
  return summary;
}

// Fixed format (response codes 70h/71h): with ATA PASS THROUGH INFORMATION AVAILABLE, the
// INFORMATION field holds ERROR, STATUS, DEVICE and COUNT (7:0) in bytes 3 to 6, and the
// COMMAND-SPECIFIC INFORMATION field LBA (7:0), (15:8) and (23:16) in bytes 9 to 11.
SenseSummary ReadFixedSense(std::span<const std::uint8_t> sense) {
  if (sense.size() < 14) return {};
  SenseSummary summary{static_cast<std::uint8_t>(sense[2] & 0x0F), sense[12], sense[13], false, {}};
  if (CarriesAtaInformation(summary)) {
    summary.hasRegisters = true;
    summary.registers = {sense[3], sense[6], sense[9], sense[10], sense[11], sense[5], sense[4]};
  }
  return summary;
}

SenseSummary ReadSense(std::span<const std::uint8_t> sense) {
  if (sense.size() < 8) return {};
  const std::uint8_t responseCode = sense[0] & 0x7F;
  if (responseCode == 0x72 || responseCode == 0x73) return ReadDescriptorSense(sense);
  if (responseCode == 0x70 || responseCode == 0x71) return ReadFixedSense(sense);
  return {};
}

bool TransportSucceeded(const ScsiOutcome& outcome) {
  return outcome.hostStatus == 0 && (outcome.driverStatus & ~kDriverSenseValid) == 0;
}

}  // namespace

Cdb16 BuildAtaPassThrough(const AtaRegisters& registers, bool readsSector, bool returnRegisters) {
  Cdb16 cdb{};
  cdb[0] = kAtaPassThrough16;
  cdb[1] = readsSector ? kProtocolPioDataIn : kProtocolNonData;  // EXTEND 0: 28-bit command
  cdb[2] = static_cast<std::uint8_t>((readsSector ? kTransferOneBlockIn : 0x00) |
                                     (returnRegisters ? kCheckCondition : 0x00));
  // The 16-byte form holds each register as a (high, low) pair; a 28-bit command uses the low.
  cdb[4] = registers.features;
  cdb[6] = registers.sectorCount;
  cdb[8] = registers.sectorNumber;
  cdb[10] = registers.cylinderLow;
  cdb[12] = registers.cylinderHigh;
  cdb[13] = registers.driveHead;
  cdb[14] = registers.command;
  return cdb;
}

// The 12-byte form holds each register once: features, count, LBA low, mid, high, device,
// command, in bytes 3 to 9.
Cdb12 BuildAtaPassThrough12(const AtaRegisters& registers, bool readsSector, bool returnRegisters) {
  const Cdb16 wide = BuildAtaPassThrough(registers, readsSector, returnRegisters);
  return {kAtaPassThrough12,
          wide[1],
          wide[2],
          registers.features,
          registers.sectorCount,
          registers.sectorNumber,
          registers.cylinderLow,
          registers.cylinderHigh,
          registers.driveHead,
          registers.command,
          0,
          0};
}

Cdb10 BuildLogSense(std::uint8_t page, std::uint16_t allocationLength) {
  return {kLogSense,
          0,
          static_cast<std::uint8_t>(kCumulativeValues | (page & 0x3F)),
          0,
          0,
          0,
          0,
          static_cast<std::uint8_t>(allocationLength >> 8),
          static_cast<std::uint8_t>(allocationLength & 0xFF),
          0};
}

Cdb6 BuildRequestSense(std::uint8_t allocationLength) {
  return {kRequestSense, 0, 0, 0, allocationLength, 0};
}

Cdb10 BuildReadDefectData10(std::uint16_t allocationLength) {
  return {kReadDefectData10,
          0,
          kGrownListBytesFromIndex,
          0,
          0,
          0,
          0,
          static_cast<std::uint8_t>(allocationLength >> 8),
          static_cast<std::uint8_t>(allocationLength & 0xFF),
          0};
}

Cdb12 BuildReadDefectData12(std::uint32_t allocationLength) {
  Cdb12 cdb{kReadDefectData12, kGrownListBytesFromIndex};
  for (int byte = 0; byte < 4; ++byte) {
    cdb[6 + byte] = static_cast<std::uint8_t>(allocationLength >> (8 * (3 - byte)));
  }
  return cdb;
}

Cdb6 BuildInquiry(bool vitalProductData, std::uint8_t page, std::uint16_t allocationLength) {
  return {kInquiry,
          static_cast<std::uint8_t>(vitalProductData ? 0x01 : 0x00),
          vitalProductData ? page : std::uint8_t{0},
          static_cast<std::uint8_t>(allocationLength >> 8),
          static_cast<std::uint8_t>(allocationLength & 0xFF),
          0};
}

bool InquiryNamesAtaVendor(std::span<const std::uint8_t> inquiry) {
  // T10 vendor identification: bytes 8..15, blank-padded.
  if (inquiry.size() < 16) return false;
  const std::string_view vendor(reinterpret_cast<const char*>(inquiry.data()) + 8, 8);
  return vendor == "ATA     ";
}

SenseCodes SenseCodesOf(std::span<const std::uint8_t> sense) {
  const SenseSummary summary = ReadSense(sense);
  return {summary.key, summary.asc, summary.ascq};
}

bool IsUnitAttention(const ScsiOutcome& outcome) {
  return outcome.status == kStatusCheckCondition &&
         SenseCodesOf(outcome.sense).key == kSenseUnitAttention;
}

bool ReturnedRegisters(const ScsiOutcome& outcome, AtaRegisters& returned) {
  const SenseSummary sense = ReadSense(outcome.sense);
  if (!sense.hasRegisters) return false;
  returned = sense.registers;
  return true;
}

bool ScsiCommandSucceeded(const ScsiOutcome& outcome) {
  return TransportSucceeded(outcome) && outcome.status == kStatusGood;
}

bool AtaCommandSucceeded(const ScsiOutcome& outcome) {
  if (!TransportSucceeded(outcome)) return false;
  if (outcome.status == kStatusGood) return true;
  if (outcome.status != kStatusCheckCondition) return false;
  const SenseSummary sense = ReadSense(outcome.sense);
  const bool statusReturnOnly = (sense.key == kSenseNoSense || sense.key == kSenseRecoveredError) &&
                                CarriesAtaInformation(sense);
  const bool ataError = !sense.hasRegisters ||
                        (sense.registers.command & (kAtaStatusErr | kAtaStatusDeviceFault)) != 0;
  return statusReturnOnly && !ataError;
}

}  // namespace trelmoss
