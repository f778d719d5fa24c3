#include "device/windows/smart_records.h"

#include "device/little_endian.h"

namespace trelmoss {

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
  StoreLittleEndian<std::uint32_t>(request.data(),
                                   command.readsSector ? kSectorSize : 0);  // cBufferSize
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
  return LoadLittleEndian<std::uint32_t>(reply.data() + kCapabilitiesOffset);
}

}  // namespace trelmoss
