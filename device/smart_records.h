// The request and reply records of the disk driver's S.M.A.R.T. control codes, byte for byte as
// the driver defines them (packed, little-endian), built and read by portable code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace trelmoss {

inline constexpr std::uint32_t kStorageGetDeviceNumber = 0x002D1080;
inline constexpr std::uint32_t kSmartGetVersion = 0x00074080;
inline constexpr std::uint32_t kSmartSendDriveCommand = 0x0007C084;
inline constexpr std::uint32_t kSmartRcvDriveData = 0x0007C088;

// GETVERSIONINPARAMS: bVersion, bRevision, bReserved, bIDEDeviceMap, fCapabilities (32-bit at 4),
// four reserved 32-bit words.
inline constexpr std::size_t kVersionReplySize = 24;
inline constexpr std::size_t kCapabilitiesOffset = 4;
inline constexpr std::uint32_t kCapAtaIdentify = 1;    // CAP_ATA_ID_CMD
inline constexpr std::uint32_t kCapSmartCommands = 4;  // CAP_SMART_CMD

// SENDCMDINPARAMS: cBufferSize (4), IDEREGS (8), bDriveNumber, 3 reserved bytes, 4 reserved
// words, and a 1-byte buffer.
inline constexpr std::size_t kRequestSize = 33;
inline constexpr std::size_t kRegistersOffset = 4;
inline constexpr std::size_t kDriveNumberOffset = 12;
// SENDCMDOUTPARAMS: cBufferSize (4), DRIVERSTATUS (12), then the data.
inline constexpr std::size_t kReplyDataOffset = 16;

// The ATA task-file registers of IDEREGS, in their record order.
struct AtaRegisters {
  std::uint8_t features = 0;
  std::uint8_t sectorCount = 0;
  std::uint8_t sectorNumber = 0;  // LBA low
  std::uint8_t cylinderLow = 0;   // LBA mid
  std::uint8_t cylinderHigh = 0;  // LBA high
  std::uint8_t driveHead = 0;
  std::uint8_t command = 0;
};

// One of the four exchanges a drive is ever sent.
struct SmartExchange {
  std::uint32_t controlCode;
  std::uint32_t bufferSize;  // cBufferSize of the request
  AtaRegisters registers;
  std::size_t replySize;
};

// ATA commands and S.M.A.R.T. feature values. The S.M.A.R.T. commands carry the 0xC24F key in
// the cylinder registers; every drive is addressed with drive/head 0xA0.
inline constexpr SmartExchange kEnableSmart{
    kSmartSendDriveCommand, 0, {0xD8, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0}, 17};
inline constexpr SmartExchange kIdentifyDevice{
    kSmartRcvDriveData, 512, {0x00, 1, 1, 0x00, 0x00, 0xA0, 0xEC}, 528};
inline constexpr SmartExchange kReadSmartData{
    kSmartRcvDriveData, 512, {0xD0, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0}, 531};
inline constexpr SmartExchange kReadSmartThresholds{
    kSmartRcvDriveData, 512, {0xD1, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0}, 531};

using SmartRequest = std::array<std::uint8_t, kRequestSize>;

SmartRequest BuildSmartRequest(const SmartExchange& exchange, std::uint32_t deviceNumber);
// What a platform backend needs from a request to send it to the drive by its own means.
std::uint32_t RequestBufferSize(std::span<const std::uint8_t> request);
AtaRegisters RequestRegisters(std::span<const std::uint8_t> request);

std::uint32_t VersionCapabilities(std::span<const std::uint8_t, kVersionReplySize> reply);

void StoreLittleEndian32(std::uint8_t* at, std::uint32_t value);
std::uint32_t LoadLittleEndian32(const std::uint8_t* at);

}  // namespace trelmoss
