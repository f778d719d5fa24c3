#include "device/scsi/scsi_route.h"

#include <array>
#include <vector>

namespace trelmoss {
namespace {

constexpr std::size_t kLogPageListSize = 64;

// The pass-through of the route, as a command descriptor block of its size.
std::vector<std::uint8_t> PassThrough(ScsiRoute route, const AtaRegisters& registers,
                                      bool readsSector, bool returnRegisters) {
  if (route == ScsiRoute::kAta12) {
    const Cdb12 cdb = BuildAtaPassThrough12(registers, readsSector, returnRegisters);
    return {cdb.begin(), cdb.end()};
  }
  const Cdb16 cdb = BuildAtaPassThrough(registers, readsSector, returnRegisters);
  return {cdb.begin(), cdb.end()};
}

// IDENTIFY DEVICE answered through the route's pass-through: an ATA drive sits behind it. A
// refusal of any kind (the opcode unknown, the capability missing) says only that it is not;
// `error` is set when the command could not be issued.
bool AnswersIdentify(DiskHandle& disk, ScsiRoute route, int& error) {
  std::array<std::uint8_t, kSectorSize> sector{};
  ScsiOutcome outcome;
  return SendScsi(disk, PassThrough(route, kIdentifyDevice.registers, true, false), sector, outcome,
                  error) &&
         AtaCommandSucceeded(outcome);
}

bool AnswersLogSense(DiskHandle& disk, int& error) {
  std::array<std::uint8_t, kLogPageListSize> pages{};
  ScsiOutcome outcome;
  return SendScsi(disk, BuildLogSense(0x00, pages.size()), pages, outcome, error) &&
         ScsiCommandSucceeded(outcome) && (pages[0] & 0x3F) == 0x00;
}

}  // namespace

bool SendScsi(DiskHandle& disk, std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn,
              ScsiOutcome& outcome, int& error) {
  if (!disk.SendScsiCommand(cdb, dataIn, outcome, error)) return false;
  if (!IsUnitAttention(outcome)) return true;
  return disk.SendScsiCommand(cdb, dataIn, outcome, error);
}

RouteDecision DecideScsiRoute(DiskHandle& disk, bool (*meansNoScsi)(int error)) {
  std::array<std::uint8_t, kStandardInquirySize> inquiry{};
  ScsiOutcome outcome;
  RouteDecision decision;
  if (!SendScsi(disk, BuildInquiry(false, 0, inquiry.size()), inquiry, outcome, decision.error)) {
    if (meansNoScsi(decision.error)) return {};
    decision.issued = false;
    return decision;
  }
  if (!ScsiCommandSucceeded(outcome)) return decision;
  if (InquiryNamesAtaVendor(inquiry)) {
    decision.route = ScsiRoute::kAta16;
    return decision;
  }
  // A probe the disk lets time out ends the probing: the disk did not answer, which is not the
  // refusal of a disk that answers.
  for (const ScsiRoute route : {ScsiRoute::kAta16, ScsiRoute::kAta12, ScsiRoute::kScsi}) {
    int error = 0;
    if (route == ScsiRoute::kScsi ? AnswersLogSense(disk, error)
                                  : AnswersIdentify(disk, route, error)) {
      decision.route = route;
      return decision;
    }
    if (disk.MeansTimeout(error)) return {ScsiRoute::kNone, false, error};
  }
  decision.route = ScsiRoute::kIdentity;
  return decision;
}

DiskBus BusOf(const RouteDecision& decision) {
  switch (decision.route) {
    case ScsiRoute::kScsi:
      return DiskBus::kScsi;
    case ScsiRoute::kIdentity:
      return DiskBus::kScsiIdentity;
    default:
      return DiskBus::kAta;
  }
}

bool SmartSupportOf(const RouteDecision& decision, bool& supported, int& error) {
  if (!decision.issued) {
    error = decision.error;
    return false;
  }
  supported = decision.route == ScsiRoute::kAta16 || decision.route == ScsiRoute::kAta12;
  return true;
}

bool SendAtaOverScsi(DiskHandle& disk, ScsiRoute route, const AtaCommand& command,
                     SectorBuffer sector, ErrorNumbers numbers, int& error) {
  if (!IsPermittedAtaCommand(command.registers)) {
    error = numbers.refused;
    return false;
  }
  std::span<std::uint8_t> data;
  if (command.readsSector) data = sector;
  ScsiOutcome outcome;
  if (!SendScsi(disk, PassThrough(route, command.registers, command.readsSector, false), data,
                outcome, error)) {
    return false;
  }
  if (!AtaCommandSucceeded(outcome)) {
    error = numbers.deviceFailed;
    return false;
  }
  return true;
}

bool AskAtaRegistersOverScsi(DiskHandle& disk, ScsiRoute route, const AtaCommand& command,
                             ErrorNumbers numbers, AtaRegisters& returned, int& error) {
  if (!IsPermittedAtaCommand(command.registers) || command.readsSector) {
    error = numbers.refused;
    return false;
  }
  ScsiOutcome outcome;
  if (!SendScsi(disk, PassThrough(route, command.registers, false, true), {}, outcome, error)) {
    return false;
  }
  if (!AtaCommandSucceeded(outcome) || !ReturnedRegisters(outcome, returned)) {
    error = numbers.deviceFailed;
    return false;
  }
  return true;
}

}  // namespace trelmoss
