#include "device/scsi/usb_bridges.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

namespace trelmoss {
namespace {

struct Bridge {
  std::uint16_t vendor;
  std::uint16_t product;
  BridgeTunnel tunnel;
};

// Only chips whose tunnel is known to carry what this program sends, and only enclosures of one
// kind: the same id on a SATA bridge would take a vendor command as a reset or a disconnect.
// Realtek's RTL9211 (0bda:9211, 2eb9:9211) and JMicron's JMS581 (152d:a581, b581) serve NVMe
// and SATA enclosures alike, so they are not here: they take the SCSI road, as any USB disk.
constexpr Bridge kBridges[] = {
    {0x174C, 0x2362, BridgeTunnel::kAsmediaNvme},  // ASMedia ASM2362
    {0x174C, 0x2364, BridgeTunnel::kAsmediaNvme},  // ASMedia ASM2364
    {0x174C, 0x2463, BridgeTunnel::kAsmediaNvme},  // ASMedia ASM2464PD
    {0x0BDA, 0x9210, BridgeTunnel::kRealtekNvme},  // Realtek RTL9210
    {0x0DD8, 0x9210, BridgeTunnel::kRealtekNvme},  // Realtek RTL9210, another vendor's id
    {0x152D, 0x0583, BridgeTunnel::kJmicronNvme},  // JMicron JMS583
    {0x152D, 0x2336, BridgeTunnel::kJmicronAta},   // JMicron JM20336, USB 2.0 to SATA
    {0x152D, 0x2338, BridgeTunnel::kJmicronAta},   // JMicron JM20337/JM20338, USB 2.0 to SATA
    {0x152D, 0x2339, BridgeTunnel::kJmicronAta},   // JMicron JM20339, USB 2.0 to SATA
};

// JMS583 ids whose device release marks a SATA enclosure, which speaks SAT.
constexpr std::uint16_t kJms583SataReleases[] = {0x0414, 0x3202, 0x9128};

// The four hexadecimal digits after `key` in `text`.
std::optional<std::uint16_t> HexAfter(const std::string& text, std::string_view key) {
  const std::size_t at = text.find(key);
  if (at == std::string::npos || at + key.size() + 4 > text.size()) return std::nullopt;
  const std::string digits = text.substr(at + key.size(), 4);
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return std::isxdigit(c); })) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(std::strtoul(digits.c_str(), nullptr, 16));
}

}  // namespace

BridgeTunnel TunnelOf(const UsbId& id) {
  for (const Bridge& bridge : kBridges) {
    if (bridge.vendor != id.vendor || bridge.product != id.product) continue;
    if (bridge.tunnel == BridgeTunnel::kJmicronNvme) {
      // Windows gives no release: without it a SATA enclosure cannot be told apart.
      if (!id.release) return BridgeTunnel::kNone;
      const auto* sata =
          std::find(std::begin(kJms583SataReleases), std::end(kJms583SataReleases), *id.release);
      if (sata != std::end(kJms583SataReleases)) return BridgeTunnel::kNone;
    }
    return bridge.tunnel;
  }
  return BridgeTunnel::kNone;
}

std::optional<UsbId> UsbIdOfDeviceId(std::string_view deviceId) {
  std::string upper(deviceId);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (!upper.starts_with("USB\\")) return std::nullopt;
  const auto vendor = HexAfter(upper, "VID_");
  const auto product = HexAfter(upper, "PID_");
  if (!vendor || !product) return std::nullopt;
  return UsbId{*vendor, *product, HexAfter(upper, "&REV_")};
}

}  // namespace trelmoss
