// SCSI and SAS disks: their log pages and headers decoded, the road a disk's answers decide, and
// a whole run over them.
#include <gtest/gtest.h>

#include "app/run.h"
#include "device/megaraid/mfi_frames.h"
#include "device/scsi/bridge_tunnels.h"
#include "device/scsi/scsi_decoders.h"
#include "device/scsi/scsi_route.h"
#include "device/scsi/usb_bridges.h"
#include "model/drive_table.h"
#include "tests/report_checks.h"
#include "tests/whole_run.h"

namespace trelmoss {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A log page: its code, length and parameters (code, control, length, value).
Bytes Page(std::uint8_t code, const std::vector<Bytes>& parameters) {
  Bytes page(4);
  page[0] = code;
  for (const Bytes& parameter : parameters) {
    for (const std::uint8_t byte : parameter) page.push_back(byte);
  }
  page[3] = static_cast<std::uint8_t>(page.size() - 4);
  return page;
}

Bytes Parameter(std::uint16_t code, const Bytes& value) {
  Bytes parameter(4);
  parameter[0] = static_cast<std::uint8_t>(code >> 8);
  parameter[1] = static_cast<std::uint8_t>(code);
  parameter[2] = 0x03;
  parameter[3] = static_cast<std::uint8_t>(value.size());
  for (const std::uint8_t byte : value) parameter.push_back(byte);
  return parameter;
}

std::string Fields(std::uint8_t page, const Bytes& reply) {
  ScsiFields fields;
  DecodeLogPage(page, reply, fields);
  std::string text;
  for (const auto& [name, value] : fields) text += name + "=" + value + " ";
  return text;
}

TEST(Scsi, LogPagesTable) {
  Bytes cut = Page(0x0D, {Parameter(0, {0, 38}), Parameter(1, {0, 65})});
  cut.resize(cut.size() - 1);  // the trip temperature's value cut off
  const struct {
    std::uint8_t page;
    Bytes reply;
    const char* fields;
  } cases[] = {
      {0x2F, Page(0x2F, {Parameter(0, {0x5D, 0xFF, 38})}), "asc=93 ascq=255 "},
      {0x0D, Page(0x0D, {Parameter(0, {0, 38}), Parameter(1, {0, 65})}),
       "drive_trip=65 temperature=38 "},
      {0x0D, Page(0x0D, {Parameter(0, {0, 0xFF}), Parameter(1, {0, 65})}), "drive_trip=65 "},
      {0x0D, cut, "temperature=38 "},
      {0x0D, Page(0x0E, {Parameter(0, {0, 38})}), ""},  // not the page asked for
      {0x0E,
       Page(0x0E, {Parameter(3, {0, 0, 0xC3, 0x50}), Parameter(4, {0, 0, 0, 12}),
                   Parameter(6, {0xFF, 0xFF, 0xFF, 0xFF})}),
       "accumulated_start_stop_cycles=12 specified_cycle_count_over_device_lifetime=50000 "},
      {0x15, Page(0x15, {Parameter(0, {0, 0, 0x01, 0x2C, 0, 0, 0, 0})}), "power_on_minutes=300 "},
      {0x03, Page(0x03, {Parameter(5, {0, 0, 0, 1, 0, 0, 0, 0}), Parameter(6, {7})}),
       "read_bytes_processed=4294967296 read_total_uncorrected_errors=7 "},
      {0x02, Page(0x02, {Parameter(0, {1}), Parameter(7, {9})}),
       "write_errors_corrected_by_eccfast=1 "},
      {0x06, Page(0x06, {Parameter(0, {0, 3})}), "non_medium_error_count=3 "},
  };
  for (const auto& c : cases) EXPECT_EQ(Fields(c.page, c.reply), c.fields) << int{c.page};
}

TEST(Scsi, DefectHeadersAndSense) {
  EXPECT_EQ(GrownDefects(Bytes{0, 0x0C, 0, 24}, false), 3u);                 // 8-byte entries
  EXPECT_EQ(GrownDefects(Bytes{0, 0x08, 0, 24}, false), 6u);                 // short blocks: 4
  EXPECT_EQ(GrownDefects(Bytes{0, 0x0C, 0xFF, 0xFF}, false), std::nullopt);  // may be cut
  EXPECT_EQ(GrownDefects(Bytes{0, 0x0C, 0, 0, 0, 1, 0, 0}, true), 8192u);
  EXPECT_EQ(GrownDefects(Bytes{0, 0x0C}, false), std::nullopt);
  ScsiFields fields;
  DecodeRequestSense(Bytes{0x70, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x5D, 0x10, 0, 0, 0, 0}, fields);
  EXPECT_EQ(fields["asc"], "93");
  EXPECT_EQ(fields["ascq"], "16");
}

// What a disk answers decides its road; a disk that only offers the ATA Information page but
// refuses ATA PASS-THROUGH is not an ATA drive.
TEST(Scsi, RoadTable) {
  const struct {
    const char* vendor;
    bool sixteen, twelve, logPages;
    ScsiRoute route;
    std::size_t commands;
  } cases[] = {
      {"ATA", false, false, false, ScsiRoute::kAta16, 1},
      {"JMicron", true, false, false, ScsiRoute::kAta16, 2},
      {"Prolific", false, true, false, ScsiRoute::kAta12, 3},
      {"Linux", false, false, true, ScsiRoute::kScsi, 4},
      {"QEMU", false, false, false, ScsiRoute::kIdentity, 4},  // who it is, and no more
  };
  for (const auto& c : cases) {
    test::FakeDiskSystem disks;
    test::FakeDisk disk = test::HealthyDisk("/dev/sdb", 0);
    disk.scsi.vendor = c.vendor;
    disk.scsi.passThrough16 = c.sixteen;
    disk.scsi.passThrough12 = c.twelve;
    if (c.logPages) disk.scsi.logPages[0x0D] = Page(0x0D, {Parameter(0, {0, 38})});
    disks.disks = {disk};
    int error = 0;
    const auto handle = disks.Open("/dev/sdb", error);
    EXPECT_EQ(DecideScsiRoute(*handle, [](int) { return false; }).route, c.route) << c.vendor;
    EXPECT_EQ(disks.requests.size(), c.commands) << c.vendor;
  }
}

test::FakeDisk SasDisk(const std::string& path, std::uint32_t number) {
  test::FakeDisk disk;
  disk.path = path;
  disk.deviceNumber = number;
  disk.bus = DiskBus::kScsi;
  disk.scsi.logPages = {{0x2F, Page(0x2F, {Parameter(0, {0, 0, 38})})},
                        {0x0D, Page(0x0D, {Parameter(0, {0, 38}), Parameter(1, {0, 65})})},
                        {0x03, Page(0x03, {Parameter(5, {1, 0, 0, 0, 0, 0, 0, 0, 0})})}};
  disk.scsi.defects10 = {0, 0x0C, 0, 16};
  return disk;
}

// A SAS disk's identity and log pages in the report and metrics, its verdict from its
// informational exception and grown defects; a UNIT ATTENTION is answered by asking again.
TEST(Scsi, WholeRunOverSasDisks) {
  test::WholeRun run;
  run.disks.disks = {SasDisk("/dev/sda", 0), SasDisk("/dev/sdb", 1)};
  auto& predicting = run.disks.disks[1].scsi;
  predicting.logPages.erase(0x2F);  // its exception then comes from REQUEST SENSE
  predicting.requestSense = {0x70, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x5D, 0xFF, 0, 0, 0, 0};
  predicting.defects10 = {};  // refused: the (12) form is asked
  predicting.defects12 = {0, 0x0C, 0, 0, 0, 0, 0, 0};
  predicting.unitAttention = true;
  EXPECT_EQ(run({"trelmoss", "--health", "--prometheus", "m.prom", "r.xml"}), kStatusReportWritten);
  const std::string& report = run.written.at("r.xml");
  EXPECT_EQ(test::SchemaProblems(report), "");
  EXPECT_NE(report.find("<drive devicepath=\"/dev/sda\" id=\"0\" model=\"SEAGATE ST4000NM0023\" "
                        "serial=\"Z1Z0ABCD\" firmware=\"0004\">\r\n        <scsi asc=\"0\" "
                        "ascq=\"0\" temperature=\"38\" drive_trip=\"65\" "
                        "read_bytes_processed=\"18446744073709551616\" "
                        "scsi_grown_defect_list=\"2\"/>\r\n        <health state=\"warning\">"),
            std::string::npos);
  // Its identity, read by the first command after the reset, asked again.
  EXPECT_NE(report.find("<drive devicepath=\"/dev/sdb\" id=\"1\" model=\"SEAGATE ST4000NM0023\""),
            std::string::npos);
  EXPECT_NE(report.find("<scsi asc=\"93\" ascq=\"255\" temperature=\"38\" drive_trip=\"65\" "
                        "read_bytes_processed=\"18446744073709551616\" "
                        "scsi_grown_defect_list=\"0\"/>\r\n"
                        "        <health state=\"failing\">\r\n            <reason "
                        "name=\"failure_predicted\" value=\"255\"/>"),
            std::string::npos);
  const std::string& metrics = run.written.at("m.prom");
  for (const char* line : {"trelmoss_scsi_temperature_celsius{device=\"sda\"} 38\n",
                           "trelmoss_scsi_grown_defects{device=\"sda\"} 2\n",
                           "trelmoss_scsi_processed_bytes_total{device=\"sda\",direction=\"read\"} "
                           "1.84467440737096e+19\n",
                           "trelmoss_device_smart_status{device=\"sda\"} 1\n",
                           "trelmoss_device_smart_status{device=\"sdb\"} 0\n"}) {
    EXPECT_NE(metrics.find(line), std::string::npos) << line;
  }
  EXPECT_TRUE(run.disks.unexpected.empty());
  test::KeepReportForComparison(metrics, ".prom");
}

// Only the exact USB id chooses a tunnel; an id not in the table, or one that serves SATA and
// NVMe enclosures alike, takes the SCSI road and is sent no vendor command.
TEST(UsbBridges, TunnelByExactId) {
  const struct {
    UsbId id;
    BridgeTunnel tunnel;
  } cases[] = {
      {{0x174C, 0x2362, 0x0100}, BridgeTunnel::kAsmediaNvme},
      {{0x174C, 0x2364, std::nullopt}, BridgeTunnel::kAsmediaNvme},
      {{0x0BDA, 0x9210, 0x2100}, BridgeTunnel::kRealtekNvme},
      {{0x0BDA, 0x9211, 0x3100}, BridgeTunnel::kNone},  // NVMe or SATA behind it
      {{0x152D, 0xA581, 0x0100}, BridgeTunnel::kNone},
      {{0x152D, 0x0583, 0x0214}, BridgeTunnel::kJmicronNvme},
      {{0x152D, 0x0583, 0x3202}, BridgeTunnel::kNone},        // its SATA enclosure
      {{0x152D, 0x0583, std::nullopt}, BridgeTunnel::kNone},  // no release to tell
      {{0x152D, 0x2338, 0x0100}, BridgeTunnel::kJmicronAta},
      {{0x174C, 0x55AA, 0x0100}, BridgeTunnel::kNone},  // an ASMedia SAT bridge
      {{0xFEED, 0xBEEF, 0x0100}, BridgeTunnel::kNone},
  };
  for (const auto& c : cases) EXPECT_EQ(TunnelOf(c.id), c.tunnel) << c.id.product;
  const auto windows = UsbIdOfDeviceId("usb\\vid_152d&pid_0583&rev_0214");
  ASSERT_TRUE(windows);
  EXPECT_EQ(windows->vendor, 0x152D);
  EXPECT_EQ(windows->release, 0x0214);
  EXPECT_FALSE(UsbIdOfDeviceId("USB\\VID_174C&PID_2362\\0123")->release);
  for (const char* other : {"USBSTOR\\DISK&VEN_JMICRON", "USB\\VID_17&PID_2362", "ROOT\\X"}) {
    EXPECT_FALSE(UsbIdOfDeviceId(other)) << other;
  }
}

// Each tunnel's command blocks, byte for byte as the bridges are known to take them.
TEST(UsbBridges, CommandBlocks) {
  const auto hex = [](std::span<const std::uint8_t> bytes) {
    return test::Hex({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
  };
  const struct {
    std::string bytes, expected;
  } cases[] = {
      {hex(BuildAsmediaNvme(kNvmeIdentifyController)), "e6060001000000000000000000000000"},
      {hex(BuildAsmediaNvme(kNvmeReadHealthLog)), "e60200020000007f0000000000000000"},
      {hex(BuildRealtekNvme(kNvmeIdentifyController)), "e4001006010000000000000000000000"},
      {hex(BuildRealtekNvme(kNvmeReadHealthLog)), "e4000202020000000000000000000000"},
      {hex(BuildJmicronNvme(JmicronStep::kCommand, 512)), "a18000000200000000000000"},
      {hex(BuildJmicronNvme(JmicronStep::kDataIn, 4096)), "a18200001000000000000000"},
      {hex(BuildJmicronNvme(JmicronStep::kStatus, 512)), "a18f00000200000000000000"},
      {hex(JmicronNvmeCommandBlock(kNvmeReadHealthLog)).substr(0, 128),
       "4e564d450000000002000000ffffffff" + std::string(64, '0') + "02807f00" +
           std::string(24, '0')},
      {hex(kJmicronPortProbe), "df10000001007 20f000000fd"},
      {hex(BuildJmicronAta(kIdentifyDevice.registers, 0xA0, 512)), "df1000020000010100 00a0ec"},
      {hex(BuildJmicronAta(kReadSmartData.registers, 0xB0, 512)), "df100002 00d001014fc2b0b0"},
      {hex(BuildJmicronAta(kEnableSmart.registers, 0xA0, 0)), "df00000000d801014fc2a0b0"},
      {hex(BuildJmicronAta(kReadSmartStatus.registers, 0xA0, 1)), "df10000001da01014fc2a0b0"},
  };
  for (const auto& c : cases) {
    std::string expected = c.expected;
    std::erase(expected, ' ');
    EXPECT_EQ(c.bytes, expected);
  }
}

// NVMe drives behind each tunnel, and an ATA drive behind JMicron's on either of its ports, read
// exactly as on a port, their own verdict included; a bridge that refuses its tunnel is sent
// nothing more of it.
TEST(UsbBridges, BridgedDrivesReadAsOnAPort) {
  test::WholeRun run;
  test::FakeDisk failing = test::HealthyDisk("/dev/sdz", 5);
  failing.statusReply = {0, 0, 0, 0xF4, 0x2C, 0, 0x50};
  run.disks.disks = {test::HealthyNvmeDisk("/dev/nvme0n1", 0), failing};
  const BridgeTunnel tunnels[] = {BridgeTunnel::kAsmediaNvme, BridgeTunnel::kRealtekNvme,
                                  BridgeTunnel::kJmicronNvme, BridgeTunnel::kJmicronAta,
                                  BridgeTunnel::kAsmediaNvme, BridgeTunnel::kJmicronAta};
  for (std::size_t i = 0; i < std::size(tunnels); ++i) {
    test::FakeDisk disk = run.disks.disks[tunnels[i] == BridgeTunnel::kJmicronAta ? 1 : 0];
    disk.path = "/dev/sd" + std::string(1, static_cast<char>('a' + i));
    disk.bus = DiskBus::kScsi;
    disk.tunnel = tunnels[i];
    disk.scsi.bridge = i == 4 ? BridgeTunnel::kRealtekNvme : tunnels[i];  // the fifth refuses
    if (i == 5) disk.scsi.jmicronPort = 0x40;
    run.disks.disks.push_back(disk);
  }
  ASSERT_EQ(run({"trelmoss", "--health", "r.xml"}), kStatusReportWritten);
  const std::string& report = run.written.at("r.xml");
  const auto element = [&report](const std::string& path) {
    const std::size_t start = report.find("\"", report.find("devicepath=\"" + path) + 12);
    return report.substr(start, report.find("</drive>", start) - start);
  };
  for (const char* path : {"/dev/sda", "/dev/sdb", "/dev/sdc"}) {
    EXPECT_EQ(element(path), element("/dev/nvme0n1")) << path;
  }
  EXPECT_EQ(element("/dev/sdd"), element("/dev/sdz"));
  EXPECT_EQ(element("/dev/sdf"), element("/dev/sdz"));
  EXPECT_NE(element("/dev/sdd").find("smart_status_failed"), std::string::npos);
  EXPECT_NE(element("/dev/sde")
                .find("error=\"Error 5 in reading basic SMART dataError 5 "
                      "reading detailed SMART data\""),
            std::string::npos);
  EXPECT_EQ(run.disks.StepsOf("/dev/sde").size(), 1u);
  EXPECT_EQ(test::SchemaProblems(report), "");
}

std::string HexOf(const MfiFrame& frame, std::size_t count) {
  return test::Hex({reinterpret_cast<const char*>(frame.data()), count});
}

// A MegaRAID controller's frames, byte for byte as its firmware interface lays them out, and the
// lists of its disks as it answers them.
TEST(Megaraid, FramesAndDiskLists) {
  EXPECT_EQ(HexOf(BuildPdListFrame(776), 0x28),
            "05000000000000010000000000000000100000000803000000000102000000000000000000000000");
  const Bytes inquiry = {0x12, 0, 0, 0, 36, 0};
  EXPECT_EQ(HexOf(BuildPassThroughFrame(0x0105, inquiry, 36), 0x30),
            "04200000050006010000000000000000100000002400000000000000000000001200000024000000"
            "0000000000000000");
  EXPECT_EQ(BuildPassThroughFrame(3, Bytes{0, 0, 0, 0, 0, 0}, 0)[0x07], 0);  // no data, no list
  const auto list = [](std::uint32_t size, std::vector<std::uint8_t> types, std::size_t room) {
    Bytes reply(8 + room * 24);
    reply[0] = static_cast<std::uint8_t>(size), reply[1] = static_cast<std::uint8_t>(size >> 8);
    reply[4] = static_cast<std::uint8_t>(types.size());
    for (std::size_t i = 0; i < types.size() && i < room; ++i) {
      reply[8 + i * 24] = static_cast<std::uint8_t>(10 + i);  // device ids 10, 11, ...
      reply[8 + i * 24 + 6] = types[i];
    }
    return reply;
  };
  const struct {
    Bytes reply;
    std::uint32_t size;
    std::vector<std::uint16_t> disks;
  } cases[] = {
      {list(8, {}, 0), 8, {}},
      {list(8 + 3 * 24, {0, 0x0D, 0}, 3), 80, {10, 12}},  // an enclosure (0Dh) left out
      {list(8 + 40 * 24, std::vector<std::uint8_t>(40), 32), 968, {}},  // to be asked again
      {list(8 + 40 * 24, std::vector<std::uint8_t>(40), 40), 968, {}},
  };
  for (const auto& c : cases) {
    const std::optional<PdList> parsed = ParsePdList(c.reply);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->size, c.size);
    if (c.disks.empty() && c.reply.size() == 8 + 40 * 24) {
      EXPECT_EQ(parsed->disks.size(), 40u);  // all of them: the run keeps what fits in 32
    } else {
      EXPECT_EQ(parsed->disks, c.disks);
    }
  }
  EXPECT_FALSE(ParsePdList(Bytes(7)));
  ScsiOutcome outcome;
  const Bytes sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0, 0, 0, 0, 0};
  EXPECT_TRUE(PassThroughOutcome(0x00, sense, outcome) && ScsiCommandSucceeded(outcome));
  EXPECT_TRUE(PassThroughOutcome(0x2D, sense, outcome) && !ScsiCommandSucceeded(outcome));
  EXPECT_EQ(SenseCodesOf(outcome.sense).asc, 0x20);
  EXPECT_FALSE(PassThroughOutcome(0x0C, sense, outcome));  // no such disk
}

// Behind a controller: an ATA disk (through SAT), a SAS disk and a disk with no log pages, each
// read as on a port and said to sit there; the volume the controller makes is never judged by
// what it lacks.
TEST(Megaraid, MembersAndVolumesInAWholeRun) {
  test::WholeRun run;
  run.disks.disks = {test::HealthyDisk("/dev/sda", 0),
                     test::HealthyDisk("/dev/bus/0 megaraid,8", 1),
                     SasDisk("/dev/bus/0 megaraid,9", 2), SasDisk("/dev/bus/0 megaraid,10", 3)};
  run.disks.disks[0].raid = RaidPlace::kVolume;
  run.disks.disks[0].smartCommands = false;
  run.disks.disks[3].bus = DiskBus::kScsiIdentity;
  for (std::size_t at = 1; at < 4; ++at) run.disks.disks[at].raid = RaidPlace::kMember;
  EXPECT_EQ(run({"trelmoss", "--health", "--prometheus", "m.prom", "--html", "p.html", "r.xml"}),
            kStatusReportWritten);
  const std::string& report = run.written.at("r.xml");
  EXPECT_EQ(test::SchemaProblems(report), "");
  EXPECT_NE(report.find("<reason name=\"raid_volume_members_listed\" value=\"1\"/>"),
            std::string::npos);
  EXPECT_NE(report.find("megaraid,8\" id=\"1\" model=\"MODEL 8\" serial=\"SERIAL\""),
            std::string::npos);
  EXPECT_NE(report.find("megaraid,9\" id=\"2\" model=\"SEAGATE ST4000NM0023\""), std::string::npos);
  EXPECT_NE(
      report.find("megaraid,10\" id=\"3\" model=\"SEAGATE ST4000NM0023\" "
                  "serial=\"Z1Z0ABCD\" firmware=\"0004\">\r\n        <health state=\"unknown\"/>"),
      std::string::npos);
  EXPECT_EQ(run.disks.StepsOf("/dev/bus/0 megaraid,10"),
            std::vector<test::Step>(2, test::Step::kScsi));
  const std::string& metrics = run.written.at("m.prom");
  EXPECT_NE(metrics.find("trelmoss_device_raid{device=\"sda\"} 2\ntrelmoss_device_raid{device=\"0 "
                         "megaraid,8\"} 1\n"),
            std::string::npos);
  EXPECT_NE(run.written.at("p.html").find("SAS or SCSI, behind a RAID controller"),
            std::string::npos);
  EXPECT_NE(run.console.Text().find("/dev/sda health: unknown: raid_volume_members_listed 1"),
            std::string::npos);
}

}  // namespace
}  // namespace trelmoss
