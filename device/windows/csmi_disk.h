// The SATA drives on the ports of RAID controllers whose driver answers CSMI (Intel's Rapid
// Storage Technology in RAID mode, AMD's RAID driver): a RAID volume's members, which no disk
// interface reaches, and the ports the controller passes through as disks of their own. Each is
// read through the controller, \\.\ScsiN:, with its ATA commands in STP pass-throughs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device/csmi/csmi_frames.h"
#include "device/disk_system.h"

namespace trelmoss {

struct CsmiListedPort {
  std::string path;  // "\\.\Scsi2: port 3": the controller and the port, stable from run to run
  unsigned controller = 0;
  CsmiPort port;
};

// The SATA ports of every controller from \\.\Scsi0: to \\.\Scsi15: that answers CSMI, in the
// controllers' order and then the ports'. A controller that does not answer is none of ours.
std::vector<CsmiListedPort> ListCsmiPorts(unsigned seconds);

// The drive on `listed`, read through a handle of its own on the controller. Its number is
// 256 + 32 × controller + port: above the disks' own, and the same in every run.
std::unique_ptr<DiskHandle> OpenCsmiPort(const CsmiListedPort& listed, unsigned seconds,
                                         int& error);

}  // namespace trelmoss
