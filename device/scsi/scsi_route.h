// A disk reached through SCSI commands (SG_IO on Linux, IOCTL_SCSI_PASS_THROUGH on Windows) is
// read one of three ways, decided once when it is opened: as an ATA drive, its ATA commands
// carried by ATA PASS-THROUGH (16) or, for bridges that take only that, (12); as a SCSI disk,
// through its log pages; or not at all. Portable: the backends only carry the commands.
#pragma once

#include <cstdint>
#include <span>

#include "device/disk_system.h"

namespace trelmoss {

// kIdentity: a disk that answers INQUIRY but neither pass-through nor log pages.
enum class ScsiRoute { kNone, kAta16, kAta12, kScsi, kIdentity };

struct RouteDecision {
  ScsiRoute route = ScsiRoute::kNone;
  bool issued = true;  // false when not even INQUIRY could be issued; `error` then says why
  int error = 0;
};

// Sends a command, and once more when the disk answers UNIT ATTENTION: it says so once, to
// whichever command comes first after a reset or a changed mode page.
bool SendScsi(DiskHandle& disk, std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn,
              ScsiOutcome& outcome, int& error);

// INQUIRY: the vendor "ATA" of a kernel's or adapter's translation is an ATA drive. Otherwise the
// disk is asked IDENTIFY DEVICE through ATA PASS-THROUGH (16), then (12), then for its list of
// log pages; the first it answers decides. A disk whose INQUIRY fails with an error that
// `meansNoScsi` names takes no SCSI command at all: no route, and no error. A disk that lets
// INQUIRY or a probe time out is not issued, with that error.
RouteDecision DecideScsiRoute(DiskHandle& disk, bool (*meansNoScsi)(int error));
// The road of a disk reached through SCSI commands; one with no route takes the ATA road, where
// the capability answer below leaves it unread.
DiskBus BusOf(const RouteDecision& decision);
// The ATA road's capability answer for such a disk: S.M.A.R.T. commands pass on an ATA route;
// a disk that not even INQUIRY reached answers with that error.
bool SmartSupportOf(const RouteDecision& decision, bool& supported, int& error);

// The operating system's numbers for a command the drive failed and for one refused here (one
// outside those a drive may ever get).
struct ErrorNumbers {
  int deviceFailed;
  int refused;
};

// The ATA road over the route's pass-through: a data-in command fills `sector`; a non-data one
// with its registers asked back answers them.
bool SendAtaOverScsi(DiskHandle& disk, ScsiRoute route, const AtaCommand& command,
                     SectorBuffer sector, ErrorNumbers numbers, int& error);
bool AskAtaRegistersOverScsi(DiskHandle& disk, ScsiRoute route, const AtaCommand& command,
                             ErrorNumbers numbers, AtaRegisters& returned, int& error);

}  // namespace trelmoss
