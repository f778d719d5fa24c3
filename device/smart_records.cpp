#include "device/smart_records.h"

namespace trelmoss {

void StoreLittleEndian32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t LoadLittleEndian32(const std::uint8_t* at) {
  return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

SmartRequest BuildSmartRequest(const SmartExchange& exchange, std::uint32_t deviceNumber) {
  SmartRequest request{};
  StoreLittleEndian32(request.data(), exchange.bufferSize);
  const AtaRegisters& registers = exchange.registers;
  std::uint8_t* ideRegs = request.data() + kRegistersOffset;
  ideRegs[0] = registers.features;
  ideRegs[1] = registers.sectorCount;
  ideRegs[2] = registers.sectorNumber;
  ideRegs[3] = registers.cylinderLow;
  ideRegs[4] = registers.cylinderHigh;
  ideRegs[5] = registers.driveHead;
  ideRegs[6] = registers.command;
  request[kDriveNumberOffset] = static_cast<std::uint8_t>(deviceNumber & 0xFF);
  return request;
}

std::uint32_t RequestBufferSize(std::span<const std::uint8_t> request) {
  return request.size() >= kRequestSize ? LoadLittleEndian32(request.data()) : 0;
}

AtaRegisters RequestRegisters(std::span<const std::uint8_t> request) {
  if (request.size() < kRequestSize) return {};
  const std::uint8_t* ideRegs = request.data() + kRegistersOffset;
  return {ideRegs[0], ideRegs[1], ideRegs[2], ideRegs[3], ideRegs[4], ideRegs[5], ideRegs[6]};
}

std::uint32_t VersionCapabilities(std::span<const std::uint8_t, kVersionReplySize> reply) {
  return LoadLittleEndian32(reply.data() + kCapabilitiesOffset);
}

}  // namespace trelmoss
