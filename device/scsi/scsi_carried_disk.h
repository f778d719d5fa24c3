// A disk every command of which travels as a SCSI command, whatever carries it (SG_IO, a RAID
// controller's pass-through): the road its answers decide, or its USB bridge's tunnel, is taken
// on top of the carrier's SendScsiCommand, decided once and kept for the rest of its reading.
#pragma once

#include <optional>

#include "device/disk_system.h"
#include "device/scsi/bridge_tunnels.h"
#include "device/scsi/scsi_route.h"

namespace trelmoss {

class ScsiCarriedDisk : public DiskHandle {
 public:
  // A disk whose INQUIRY fails with an error `meansNoScsi` names takes no SCSI command at all.
  ScsiCarriedDisk(BridgeTunnel tunnel, ErrorNumbers numbers, bool (*meansNoScsi)(int error));

  DiskBus Bus() override;
  // S.M.A.R.T. commands pass when an ATA drive sits behind the translation.
  bool QuerySmartSupport(bool& supported, int& error) override;
  bool SendAtaCommand(const AtaCommand& command, SectorBuffer sector, int& error) override;
  bool AskAtaRegisters(const AtaCommand& command, AtaRegisters& returned, int& error) override;
  bool ReadNvmeIdentity(NvmeIdentity& identity, int& error) override;
  bool ReadNvmeHealthLog(NvmeHealthLog log, int& error) override;

 private:
  const RouteDecision& Route();

  ErrorNumbers numbers_;
  bool (*meansNoScsi_)(int error);
  std::optional<RouteDecision> route_;
  std::optional<BridgeRoad> bridge_;
};

}  // namespace trelmoss
