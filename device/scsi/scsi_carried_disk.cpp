#include "device/scsi/scsi_carried_disk.h"

namespace trelmoss {

ScsiCarriedDisk::ScsiCarriedDisk(BridgeTunnel tunnel, ErrorNumbers numbers,
                                 bool (*meansNoScsi)(int error))
    : numbers_(numbers), meansNoScsi_(meansNoScsi) {
  if (tunnel != BridgeTunnel::kNone) bridge_.emplace(tunnel, numbers);
}

const RouteDecision& ScsiCarriedDisk::Route() {
  if (!route_) route_ = DecideScsiRoute(*this, meansNoScsi_);
  return *route_;
}

DiskBus ScsiCarriedDisk::Bus() {
  if (bridge_) return bridge_->Bus();
  return BusOf(Route());
}

bool ScsiCarriedDisk::QuerySmartSupport(bool& supported, int& error) {
  if (bridge_) {
    supported = bridge_->Bus() == DiskBus::kAta;
    return true;
  }
  return SmartSupportOf(Route(), supported, error);
}

bool ScsiCarriedDisk::SendAtaCommand(const AtaCommand& command, SectorBuffer sector, int& error) {
  if (bridge_) return bridge_->SendAtaCommand(*this, command, sector, error);
  return SendAtaOverScsi(*this, Route().route, command, sector, numbers_, error);
}

bool ScsiCarriedDisk::AskAtaRegisters(const AtaCommand& command, AtaRegisters& returned,
                                      int& error) {
  if (bridge_) return bridge_->AskAtaRegisters(*this, command, returned, error);
  return AskAtaRegistersOverScsi(*this, Route().route, command, numbers_, returned, error);
}

bool ScsiCarriedDisk::ReadNvmeIdentity(NvmeIdentity& identity, int& error) {
  if (bridge_) return bridge_->ReadNvmeIdentity(*this, identity, error);
  error = numbers_.refused;
  return false;
}

bool ScsiCarriedDisk::ReadNvmeHealthLog(NvmeHealthLog log, int& error) {
  if (bridge_) return bridge_->ReadNvmeHealthLog(*this, log, error);
  error = numbers_.refused;
  return false;
}

}  // namespace trelmoss
