#include "device/windows/smart_records.h"

namespace trelmoss {
namespace {

void StoreLittleEndian32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t LoadLittleEndian32(const std::uint8_t* at) {
  return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

}  // namespace

std::uint32_t ControlCodeOf(const AtaCommand& command) {
  return command.readsSector ? kSmartRcvDriveData : kSmartSendDriveCommand;
}

std::size_t ReplySizeOf(const AtaCommand& command) {
  if (!command.readsSector) {
    return command.registers.features == kSmartReturnStatus ? kReturnStatusReplySize
                                                            : kNonDataReplySize;
  }
  return command.registers.command == kAtaIdentifyDevice ? kIdentifyReplySize : kSmartReadReplySize;
}

SmartRequest BuildSmartRequest(const AtaCommand& command, std::uint32_t deviceNumber) {
  SmartRequest request{};
  StoreLittleEndian32(request.data(), command.readsSector ? kSectorSize : 0);  // cBufferSize
  const AtaRegisters& registers = command.registers;
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

AtaRegisters ReturnedRegisters(std::span<const std::uint8_t, kReturnStatusReplySize> reply) {
  const std::uint8_t* ideRegs = reply.data() + kReplyDataOffset;
  return {ideRegs[0], ideRegs[1], ideRegs[2], ideRegs[3], ideRegs[4], ideRegs[5], ideRegs[6]};
}

std::uint32_t VersionCapabilities(std::span<const std::uint8_t, kVersionReplySize> reply) {
  return LoadLittleEndian32(reply.data() + kCapabilitiesOffset);
}

}  // namespace trelmoss
