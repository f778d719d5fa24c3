// The NVMe admin commands a drive is ever sent, by their command dwords. The Linux backend hands
// them to the kernel; a USB bridge's tunnel carries them inside its vendor command. Both only
// read.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trelmoss {

struct NvmeAdminCommand {
  std::uint8_t opcode = 0;
  std::uint32_t nsid = 0;
  std::uint32_t cdw10 = 0;
  std::size_t dataBytes = 0;  // data in
};

inline constexpr std::uint8_t kNvmeGetLogPage = 0x02;
inline constexpr std::uint8_t kNvmeIdentify = 0x06;
inline constexpr std::size_t kNvmeIdentifyBytes = 4096;
inline constexpr std::size_t kNvmeHealthLogBytes = 512;

// Identify, CNS 01h: the controller's data structure.
inline constexpr NvmeAdminCommand kNvmeIdentifyController{kNvmeIdentify, 0, 0x01,
                                                          kNvmeIdentifyBytes};
// Get Log Page of the SMART / Health Information log (02h) of the whole controller. Dword 10: the
// number of dwords less one in bits 31:16 (NUMDL), Retain Asynchronous Event in bit 15, so that
// reading never clears an alert the host has not seen, the log id in bits 7:0.
inline constexpr NvmeAdminCommand kNvmeReadHealthLog{
    kNvmeGetLogPage, 0xFFFFFFFF, ((kNvmeHealthLogBytes / 4 - 1) << 16) | (1u << 15) | 0x02,
    kNvmeHealthLogBytes};

}  // namespace trelmoss
