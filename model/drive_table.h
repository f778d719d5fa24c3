// The one object that holds everything a run learns: up to 32 drives with their identity,
// attribute entries and error text, the index that finds an entry by (slot, id), and the
// attribute definitions read from the definitions file.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/ata_logs.h"
#include "model/health.h"

namespace trelmoss {

class Console;
class DefinitionsFile;
class DiskSystem;
class DiskHandle;

inline constexpr std::size_t kMaxDrives = 32;
inline constexpr std::size_t kMaxAttributeEntries = 256;

struct AttributeEntry {
  std::uint8_t id = 0;
  std::uint16_t flags = 0;     // status flags; bit 0 marks a pre-failure attribute
  std::uint32_t raw = 0;       // low 16 bits of the drive's raw value, as the report carries it
  std::uint64_t wholeRaw = 0;  // the whole 48-bit raw value, as the metrics carry it
  std::uint8_t value = 0;
  std::uint8_t worst = 0;
  std::int32_t threshold = -1;  // -1 until the threshold sector names this id
};

struct AttributeDefinition {
  std::int32_t critical = 0;
  std::uint8_t id = 0;
  std::string name;
  std::string details;
};

// Offsets and widths of the identity texts inside the stored IDENTIFY DEVICE words. An NVMe
// drive's texts, of the same widths, are stored in the same fields.
struct IdentityField {
  std::size_t offset;
  std::size_t width;
};
inline constexpr IdentityField kSerialField{20, 20};
inline constexpr IdentityField kFirmwareField{46, 8};
inline constexpr IdentityField kModelField{54, 40};

// One field of an NVMe drive's SMART / Health Information log or of a SCSI disk's log pages:
// its name in the report and its value in decimal, every digit kept.
struct HealthLogField {
  std::string name;
  std::string value;
};

// Where a disk stands to a RAID controller: not behind one, one of its physical disks read
// through it, or a logical volume it makes of its disks (which keeps no health data of its own).
enum class RaidPlace : std::uint8_t { kNone, kMember, kVolume };

struct DriveRecord {
  std::array<std::uint8_t, 256> identification{};
  std::array<AttributeEntry, kMaxAttributeEntries> attributes{};
  std::uint8_t attributeCount = 0;
  std::uint8_t slot = 0;
  std::uint32_t deviceNumber = 0;
  std::string errorText;
  std::string devicePath;
  std::string deviceName;                      // as the operating system's own tools name it
  bool asleep = false;                         // left in standby: sent nothing but CHECK POWER MODE
  std::vector<HealthLogField> nvmeHealth;      // empty unless an NVMe health log was read
  std::vector<HealthLogField> scsiHealth;      // what a SCSI disk's log pages and sense told
  bool nvme = false;                           // read as an NVMe controller
  bool scsi = false;                           // read as a SCSI disk
  bool smartSectorsRead = false;               // READ DATA and READ THRESHOLDS both answered
  std::optional<std::uint8_t> selfTestStatus;  // from READ DATA, when it was read
  std::uint8_t nvmeEnduranceWarning = 0;       // the endurance groups' critical warning summary
  AtaLogs ataLogs;                             // what an ATA drive's logs told, when asked
  SmartStatus smartStatus = SmartStatus::kNotAsked;
  std::optional<DriveHealth> health;  // judged only when asked for
  // The run's deadline passed before its turn came: it was sent nothing and nothing is known.
  bool turnMissed = false;
  RaidPlace raid = RaidPlace::kNone;

  // Each text ends at its first NUL or at the end of its field, whichever comes first.
  std::string_view IdentityText(IdentityField field) const;
  std::string_view Model() const { return IdentityText(kModelField); }
  std::string_view Serial() const { return IdentityText(kSerialField); }
  std::string_view Firmware() const { return IdentityText(kFirmwareField); }
};

// Key of an attribute entry in the index: slot in the upper half, id in the lower.
constexpr std::uint32_t AttributeKey(std::uint32_t slot, std::uint8_t id) {
  return (slot << 16) | id;
}

inline constexpr unsigned kDefaultDeadlineSeconds = 120;

// What a run asks of each drive beyond its data, and how the drives are read.
struct ReadOptions {
  bool leaveAsleep = false;    // an ATA drive in standby is sent nothing but CHECK POWER MODE
  bool readStatus = false;     // an ATA drive is also sent S.M.A.R.T. RETURN STATUS
  bool readLogs = false;       // and asked for its Device Statistics, self-test and error logs
  unsigned jobs = kMaxDrives;  // how many drives are read at once
  // Counted from `start` (the program's start; the clock's zero: when the drives are listed).
  // When it passes, the drives still being opened or read are given up and listed with an error.
  unsigned deadlineSeconds = kDefaultDeadlineSeconds;
  std::chrono::steady_clock::time_point start{};
};

using AttributeIndex = std::map<std::uint32_t, AttributeEntry*>;
using DefinitionMap = std::map<std::uint8_t, AttributeDefinition>;

class DriveTable {
 public:
  DriveTable();
  // Loads the definitions from `file`, printing the warning for `path` when it defines none.
  DriveTable(const DefinitionsFile& file, const std::string& path, Console& console);
  ~DriveTable();
  DriveTable(const DriveTable&) = delete;
  DriveTable& operator=(const DriveTable&) = delete;

  void LoadDefinitions(const DefinitionsFile& file, const std::string& path, Console& console);
  // Enumeration and the exchanges with the drives live in device/.
  bool EnumerateDrives(DiskSystem& disks, Console& console, ReadOptions options = {});
  // Reads one drive into the record of `slot` and indexes its entries.
  bool ReadDriveSmart(DiskHandle* handle, std::uint8_t slot, ReadOptions options = {});

  // Puts a drive read on its own into its slot and indexes its entries in their order.
  void StoreDrive(const DriveRecord& record);
  void IndexDrive(std::uint8_t slot);
  void IndexAttribute(std::uint8_t slot, AttributeEntry& entry);
  AttributeEntry* FindAttribute(std::uint8_t slot, std::uint8_t id) const;
  void AddDefinition(AttributeDefinition definition);
  const AttributeDefinition* FindDefinition(std::uint8_t id) const;
  void ClearAttributeIndex();

  std::uint8_t DriveCount() const { return driveCount_; }
  DriveRecord& Drive(std::size_t slot) { return drives_.at(slot); }
  const DriveRecord& Drive(std::size_t slot) const { return drives_.at(slot); }
  // Registers the next drive; the caller checks the capacity first.
  DriveRecord& RegisterDrive(const std::string& devicePath, std::uint32_t deviceNumber);
  const AttributeIndex& Index() const { return index_; }
  const DefinitionMap& Definitions() const { return definitions_; }

 private:
  std::uint8_t driveCount_ = 0;
  AttributeIndex index_;
  DefinitionMap definitions_;
  std::array<DriveRecord, kMaxDrives> drives_;
};

}  // namespace trelmoss
