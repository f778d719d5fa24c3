#include "device/scsi/scsi_commands.h"

#include <gtest/gtest.h>

#include <vector>

namespace trelmoss {
namespace {

TEST(AtaPassThrough, CommandDescriptorBlocks) {
  // READ DATA: opcode 85h, PIO data-in, one block in from the device, registers in the low
  // bytes of each pair.
  EXPECT_EQ(BuildAtaPassThrough(kReadSmartData.registers, true),
            (Cdb16{0x85, 0x08, 0x0E, 0, 0xD0, 0, 1, 0, 1, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0}));
  EXPECT_EQ(BuildAtaPassThrough(kIdentifyDevice.registers, true),
            (Cdb16{0x85, 0x08, 0x0E, 0, 0x00, 0, 1, 0, 1, 0, 0, 0, 0, 0xA0, 0xEC, 0}));
  // ENABLE: non-data, nothing transferred.
  EXPECT_EQ(BuildAtaPassThrough(kEnableSmart.registers, false),
            (Cdb16{0x85, 0x06, 0x00, 0, 0xD8, 0, 1, 0, 1, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0}));
  // The 12-byte form: each register once, from byte 3.
  EXPECT_EQ(BuildAtaPassThrough12(kReadSmartData.registers, true),
            (Cdb12{0xA1, 0x08, 0x0E, 0xD0, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0}));
  EXPECT_EQ(BuildLogSense(0x2F, 512), (Cdb10{0x4D, 0, 0x6F, 0, 0, 0, 0, 0x02, 0x00, 0}));
  EXPECT_EQ(BuildReadDefectData12(8), (Cdb12{0xB7, 0x0C, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0}));
  EXPECT_EQ(BuildInquiry(false, 0, 36), (Cdb6{0x12, 0, 0, 0, 36, 0}));
  EXPECT_EQ(BuildInquiry(true, 0x89, 0x240), (Cdb6{0x12, 1, 0x89, 0x02, 0x40, 0}));
}

TEST(AtaPassThrough, OnlyTheHealthCommandsArePermitted) {
  for (const AtaCommand& exchange :
       {kEnableSmart, kIdentifyDevice, kReadSmartData, kReadSmartThresholds, kReadSmartStatus,
        kCheckPowerMode, SmartReadLog(0x01), SmartReadLog(0x06), ReadLogExt(0x00, 0),
        ReadLogExt(0x04, 7)}) {
    EXPECT_TRUE(IsPermittedAtaCommand(exchange.registers));
  }
  AtaRegisters registers = kReadSmartData.registers;
  for (const int features : {0xD4, 0xD9, 0xD6, 0xDB}) {  // self-test, disable, write log...
    registers.features = static_cast<std::uint8_t>(features);
    EXPECT_FALSE(IsPermittedAtaCommand(registers)) << features;
  }
  // Only the logs read, one sector each.
  for (const AtaRegisters& log :
       {SmartReadLog(0x04).registers, SmartReadLog(0x80).registers, ReadLogExt(0x10, 0).registers,
        AtaRegisters{0, 8, 4, 1, 0, 0xA0, 0x2F}}) {
    EXPECT_FALSE(IsPermittedAtaCommand(log)) << int{log.sectorNumber};
  }
  for (const int command : {0x30, 0x24, 0xE0, 0xF4, 0x92, 0x3F}) {  // writes, standby...
    registers.command = static_cast<std::uint8_t>(command);
    EXPECT_FALSE(IsPermittedAtaCommand(registers)) << command;
  }
}

TEST(AtaPassThrough, OutcomeTable) {
  // Header (response code, key, ASC, ASCQ, ..., additional length), then the ATA Status Return
  // descriptor: code, length, extend, error, count, LBA pairs, device, status.
  const std::vector<std::uint8_t> descriptorOk = {
      0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 14, 0x09, 0x0C, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xA0, 0x50};
  std::vector<std::uint8_t> descriptorErr = descriptorOk;
  descriptorErr[2] = 0x0B;  // ABORTED COMMAND
  descriptorErr[3] = 0x00;
  descriptorErr[21] = 0x51;  // ERR set
  std::vector<std::uint8_t> recoveredButErr = descriptorOk;
  recoveredButErr[21] = 0x51;
  std::vector<std::uint8_t> fixedOk(18, 0);
  fixedOk[0] = 0x70;
  fixedOk[2] = 0x01;
  fixedOk[4] = 0x50;
  fixedOk[12] = 0x00;
  fixedOk[13] = 0x1D;
  const std::vector<std::uint8_t> illegalRequest = {0x70, 0, 0x05, 0,    0, 0, 0, 10, 0,
                                                    0,    0, 0,    0x20, 0, 0, 0, 0,  0};
  struct Case {
    const char* what;
    ScsiOutcome outcome;
    bool succeeded;
  };
  const Case cases[] = {
      {"good", {0, 0, 0, {}}, true},
      {"good with host error", {0, 7, 0, {}}, false},
      {"good with driver timeout", {0, 0, 6, {}}, false},
      {"status return of a good command", {2, 0, 8, descriptorOk}, true},
      {"fixed-format status return", {2, 0, 8, fixedOk}, true},
      {"aborted with ERR", {2, 0, 8, descriptorErr}, false},
      {"status return showing ERR", {2, 0, 8, recoveredButErr}, false},
      {"illegal request", {2, 0, 8, illegalRequest}, false},
      {"check condition without sense", {2, 0, 0, {}}, false},
      {"busy", {8, 0, 0, {}}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(AtaCommandSucceeded(c.outcome), c.succeeded) << c.what;
}

TEST(AtaPassThrough, RecognisesAtaBehindTranslation) {
  std::vector<std::uint8_t> inquiry(36, 0);
  const std::string vendor = "ATA     QEMU HARDDISK";
  std::copy(vendor.begin(), vendor.end(), inquiry.begin() + 8);
  EXPECT_TRUE(InquiryNamesAtaVendor(inquiry));
  inquiry[8] = 'Q';
  EXPECT_FALSE(InquiryNamesAtaVendor(inquiry));
  EXPECT_FALSE(InquiryNamesAtaVendor(std::vector<std::uint8_t>(10, 0)));
}

// Commands whose answer is in the registers ask for them back (CK_COND) and find them in either
// sense format; RETURN STATUS's cylinder registers then say passed, exceeded or nothing.
TEST(AtaPassThrough, ReturnedRegistersTable) {
  EXPECT_EQ(BuildAtaPassThrough(kCheckPowerMode.registers, false, true),
            (Cdb16{0x85, 0x06, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA0, 0xE5, 0}));
  EXPECT_EQ(BuildAtaPassThrough(kReadSmartStatus.registers, false, true),
            (Cdb16{0x85, 0x06, 0x20, 0, 0xDA, 0, 1, 0, 1, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0}));
  // Descriptor: header, then the ATA Status Return descriptor (count +5, LBA mid +9, high +11,
  // status +13). Fixed: status 4, count 6, LBA mid 10, high 11, ASC/ASCQ 12/13.
  const auto descriptor = [](std::uint8_t count, std::uint8_t mid, std::uint8_t high,
                             std::uint8_t status) {
    return std::vector<std::uint8_t>{0x72, 0x01, 0x00,  0x1D, 0, 0, 0,   14, 0x09, 0x0C, 0,
                                     0,    0,    count, 0,    0, 0, mid, 0,  high, 0xA0, status};
  };
  const auto fixed = [](std::uint8_t count, std::uint8_t mid, std::uint8_t high,
                        std::uint8_t ascq) {
    std::vector<std::uint8_t> sense(18, 0);
    sense[0] = 0x70, sense[2] = 0x01, sense[4] = 0x50, sense[6] = count;
    sense[10] = mid, sense[11] = high, sense[13] = ascq;
    return sense;
  };
  const struct {
    const char* what;
    std::vector<std::uint8_t> sense;
    int count;  // -1: no registers, or the command failed
    SmartStatus status;
  } cases[] = {
      {"descriptor, passed", descriptor(0, 0x4F, 0xC2, 0x50), 0, SmartStatus::kPassed},
      {"descriptor, exceeded", descriptor(0, 0xF4, 0x2C, 0x50), 0, SmartStatus::kThresholdExceeded},
      {"descriptor, mid alone", descriptor(0, 0x4F, 0x00, 0x50), 0, SmartStatus::kUnknown},
      {"descriptor, ERR", descriptor(0, 0xF4, 0x2C, 0x51), -1, SmartStatus::kUnknown},
      {"fixed, idle and passed", fixed(0x80, 0x4F, 0xC2, 0x1D), 0x80, SmartStatus::kPassed},
      {"fixed, exceeded", fixed(0, 0xF4, 0x2C, 0x1D), 0, SmartStatus::kThresholdExceeded},
      {"fixed without ATA information", fixed(0, 0xF4, 0x2C, 0x00), -1, SmartStatus::kUnknown},
      {"no sense", {}, -1, SmartStatus::kUnknown},
  };
  for (const auto& c : cases) {
    const ScsiOutcome outcome{2, 0, 8, c.sense};
    AtaRegisters returned;
    const bool read = AtaCommandSucceeded(outcome) && ReturnedRegisters(outcome, returned);
    EXPECT_EQ(read ? returned.sectorCount : -1, c.count) << c.what;
    EXPECT_EQ(read ? SmartStatusOf(returned) : SmartStatus::kUnknown, c.status) << c.what;
  }
}

}  // namespace
}  // namespace trelmoss
