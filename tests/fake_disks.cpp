#include "tests/fake_disks.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "device/scsi/bridge_tunnels.h"

namespace trelmoss::test {
namespace {

class FakeList final : public DiskList {
 public:
  explicit FakeList(FakeDiskSystem& system) : system_(system) { system_.listOpen = true; }
  ~FakeList() override { system_.listOpen = false; }
  InterfaceLookup Fetch(std::uint32_t index, std::string& path) override {
    if (system_.outOfMemoryAt == index) return InterfaceLookup::kOutOfMemory;
    if (index >= system_.disks.size()) return InterfaceLookup::kNoMore;
    if (system_.disks[index].detailFails) return InterfaceLookup::kDetailFailed;
    path = system_.disks[index].path;
    return InterfaceLookup::kFound;
  }

 private:
  FakeDiskSystem& system_;
};

class FakeHandle final : public DiskHandle {
 public:
  FakeHandle(FakeDiskSystem& system, const FakeDisk& disk) : system_(system), disk_(disk) {
    const std::lock_guard lock(system_.Mutex());
    system_.mostOpenHandles = std::max(system_.mostOpenHandles, ++system_.openHandles);
    if (disk.tunnel != BridgeTunnel::kNone) bridge_.emplace(disk.tunnel, ErrorNumbers{5, 22});
  }
  ~FakeHandle() override { system_.HandleClosed(); }

  bool MeansTimeout(int error) const override { return error == kFakeTimeoutError; }
  std::chrono::milliseconds CommandTimeout() const override { return disk_.commandTimeout; }
  RaidPlace Raid() const override { return disk_.raid; }

  bool GetDeviceNumber(std::uint32_t& number, int& error) override {
    if (disk_.numberError) {
      error = *disk_.numberError;
      return false;
    }
    number = disk_.deviceNumber;
    return true;
  }

  std::string Name() const override {
    return disk_.name.empty() ? disk_.path.substr(disk_.path.find_last_of('/') + 1) : disk_.name;
  }

  DiskBus Bus() override { return bridge_ ? bridge_->Bus() : disk_.bus; }

  bool QuerySmartSupport(bool& supported, int& error) override {
    if (bridge_) return supported = bridge_->Bus() == DiskBus::kAta, true;
    if (!Receive(Step::kVersion, {}, DiskBus::kAta, error)) return false;
    supported = disk_.smartCommands;
    return true;
  }

  bool SendAtaCommand(const AtaCommand& command, SectorBuffer sector, int& error) override {
    if (bridge_) return bridge_->SendAtaCommand(*this, command, sector, error);
    const std::optional<Step> step = StepOf(command);
    if (!step) {
      Unexpected();
      error = 87;
      return false;
    }
    if (!Receive(*step, command.registers, DiskBus::kAta, error)) return false;
    const SectorImage* image = *step == Step::kIdentify   ? &disk_.identify
                               : *step == Step::kReadData ? &disk_.attributes
                               : *step == Step::kReadLog  ? LogOf(command.registers)
                                                          : &disk_.thresholds;
    if (image == nullptr) {
      error = 5;  // the drive aborts it
      return false;
    }
    if (command.readsSector) Fill(*step, *image, sector);
    return true;
  }

  bool AskAtaRegisters(const AtaCommand& command, AtaRegisters& returned, int& error) override {
    if (bridge_) return bridge_->AskAtaRegisters(*this, command, returned, error);
    const bool status = command.registers.features == kSmartReturnStatus;
    if (!IsPermittedAtaCommand(command.registers) || command.readsSector ||
        (!status && command.registers.command != kAtaCheckPowerMode)) {
      Unexpected();
      error = 87;
      return false;
    }
    const Step step = status ? Step::kReturnStatus : Step::kPowerMode;
    if (!Receive(step, command.registers, DiskBus::kAta, error)) return false;
    returned = status ? disk_.statusReply : AtaRegisters{0, disk_.powerMode, 0, 0, 0, 0, 0x50};
    return true;
  }

  bool SendScsiCommand(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn,
                       ScsiOutcome& outcome, int& error) override {
    Record({disk_.path, Step::kScsi, {}, cdb[0]});
    if (!Answer(error)) return false;
    if (disk_.bus == DiskBus::kNvme) {
      Unexpected();
      error = 22;
      return false;
    }
    if (const auto failure = disk_.failures.find(Step::kScsi); failure != disk_.failures.end()) {
      error = failure->second;
      return false;
    }
    std::fill(dataIn.begin(), dataIn.end(), 0);
    if (disk_.scsi.unitAttention && !unitAttentionSaid_) {
      unitAttentionSaid_ = true;
      return CheckCondition(0x6, 0x29, outcome);  // power on or reset occurred
    }
    const std::vector<std::uint8_t> answer = ScsiAnswer(cdb);
    if (answer.empty()) return CheckCondition(0x5, 0x20, outcome);  // invalid command
    std::copy_n(answer.begin(), std::min(answer.size(), dataIn.size()), dataIn.begin());
    outcome = {};
    return true;
  }

  bool SendScsiDataOut(std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> dataOut,
                       ScsiOutcome& outcome, int& error) override {
    Record({disk_.path, Step::kScsi, {}, cdb[0]});
    if (!Answer(error)) return false;
    if (disk_.scsi.bridge != BridgeTunnel::kJmicronNvme || cdb[0] != 0xA1) {
      return CheckCondition(0x5, 0x20, outcome);
    }
    std::copy_n(dataOut.begin(), std::min(dataOut.size(), jmicronBlock_.size()),
                jmicronBlock_.begin());
    outcome = {};
    return true;
  }

  bool ReadNvmeIdentity(NvmeIdentity& identity, int& error) override {
    if (bridge_) return bridge_->ReadNvmeIdentity(*this, identity, error);
    if (!Receive(Step::kNvmeIdentity, {}, DiskBus::kNvme, error)) return false;
    identity = disk_.nvmeIdentity;
    return true;
  }

  bool ReadNvmeHealthLog(NvmeHealthLog log, int& error) override {
    if (bridge_) return bridge_->ReadNvmeHealthLog(*this, log, error);
    if (!Receive(Step::kNvmeHealth, {}, DiskBus::kNvme, error)) return false;
    Fill(Step::kNvmeHealth, disk_.healthLog, log);
    return true;
  }

 private:
  static std::optional<Step> StepOf(const AtaCommand& command) {
    const AtaRegisters& registers = command.registers;
    if (!IsPermittedAtaCommand(registers)) return std::nullopt;
    if (registers.features == kSmartEnableOperations && !command.readsSector) return Step::kEnable;
    if (!command.readsSector) return std::nullopt;
    if (registers.command == kAtaIdentifyDevice) return Step::kIdentify;
    if (registers.command == kAtaReadLogExt || registers.features == kSmartReadLog) {
      return Step::kReadLog;
    }
    return registers.features == kSmartReadData ? Step::kReadData : Step::kReadThresholds;
  }

  const SectorImage* LogOf(const AtaRegisters& registers) const {
    const auto found = disk_.logs.find(
        {registers.command, registers.sectorNumber,
         registers.command == kAtaReadLogExt ? registers.cylinderLow : std::uint8_t{0}});
    return found == disk_.logs.end() ? nullptr : &found->second;
  }

  void Unexpected() {
    const std::lock_guard lock(system_.Mutex());
    system_.unexpected.push_back(disk_.path);
  }

  void Record(const RecordedRequest& request) {
    const std::lock_guard lock(system_.Mutex());
    system_.requests.push_back(request);
  }

  // The disk's timing: its latency, and the request it lets hang.
  bool Answer(int& error) {
    std::this_thread::sleep_for(disk_.latency);
    if (disk_.hangAt != ++received_) return true;
    system_.Hang(disk_.hangFor);
    error = disk_.hangError;
    return false;
  }

  // Records the request; a request of the other road is one no drive should get.
  bool Receive(Step step, const AtaRegisters& registers, DiskBus road, int& error) {
    Record({disk_.path, step, registers});
    if (!Answer(error)) return false;
    if (road != disk_.bus) {
      Unexpected();
      error = 1;
      return false;
    }
    if (const auto failure = disk_.failures.find(step); failure != disk_.failures.end()) {
      error = failure->second;
      return false;
    }
    return true;
  }

  void Fill(Step step, const SectorImage& image, std::span<std::uint8_t> out) const {
    const auto limit = disk_.replyLimits.find(step);
    const std::size_t filled =
        limit == disk_.replyLimits.end() ? out.size() : std::min(out.size(), limit->second);
    std::copy_n(image.begin(), filled, out.begin());
  }

  bool CheckCondition(std::uint8_t key, std::uint8_t asc, ScsiOutcome& outcome) {
    sense_ = {0x70, 0, key, 0, 0, 0, 0, 10, 0, 0, 0, 0, asc, 0, 0, 0, 0, 0};
    outcome = {2, 0, 8, sense_};
    return true;
  }

  // What a bridge answers in its tunnel: the drive's data, as a drive on a port gives it.
  std::vector<std::uint8_t> NvmeData(std::uint8_t opcode) const {
    if (opcode == kNvmeGetLogPage) return {disk_.healthLog.begin(), disk_.healthLog.end()};
    std::vector<std::uint8_t> identify(kNvmeIdentifyBytes, ' ');
    const NvmeIdentity& texts = disk_.nvmeIdentity;
    std::copy_n(texts.serial.begin(), std::min<std::size_t>(20, texts.serial.size()), &identify[4]);
    std::copy_n(texts.model.begin(), std::min<std::size_t>(40, texts.model.size()), &identify[24]);
    std::copy_n(texts.firmware.begin(), std::min<std::size_t>(8, texts.firmware.size()),
                &identify[64]);
    return identify;
  }

  std::vector<std::uint8_t> TunnelAnswer(std::span<const std::uint8_t> cdb) const {
    const BridgeTunnel bridge = disk_.scsi.bridge;
    if (cdb[0] == 0xE6 && bridge == BridgeTunnel::kAsmediaNvme) return NvmeData(cdb[1]);
    if (cdb[0] == 0xE4 && bridge == BridgeTunnel::kRealtekNvme) return NvmeData(cdb[3]);
    if (cdb[0] == 0xA1 && bridge == BridgeTunnel::kJmicronNvme) {
      if (cdb[1] == 0x82) return NvmeData(jmicronBlock_[8]);
      return {'N', 'V', 'M', 'E'};  // the status block: signed, status 0
    }
    if (cdb[0] != 0xDF || bridge != BridgeTunnel::kJmicronAta) return {};
    if (std::equal(cdb.begin(), cdb.end(), kJmicronPortProbe.begin())) {
      return {disk_.scsi.jmicronPort};
    }
    if (cdb[10] != (disk_.scsi.jmicronPort == 0x40 ? 0xB0 : 0xA0)) return {};  // the device
    if (cdb[11] == kAtaIdentifyDevice) return {disk_.identify.begin(), disk_.identify.end()};
    if (cdb[11] == kAtaReadLogExt || cdb[5] == kSmartReadLog) {
      const SectorImage* log = LogOf({cdb[5], cdb[6], cdb[7], cdb[8], cdb[9], cdb[10], cdb[11]});
      return log ? std::vector<std::uint8_t>(log->begin(), log->end())
                 : std::vector<std::uint8_t>();
    }
    switch (cdb[5]) {  // the S.M.A.R.T. sub-command
      case kSmartReadData:
        return {disk_.attributes.begin(), disk_.attributes.end()};
      case kSmartReadThresholds:
        return {disk_.thresholds.begin(), disk_.thresholds.end()};
      case kSmartReturnStatus:
        return {disk_.statusReply.cylinderHigh};
      default:
        return {0};  // ENABLE OPERATIONS: done, nothing to return
    }
  }

  // The reply to `cdb`; empty when the disk refuses it.
  std::vector<std::uint8_t> ScsiAnswer(std::span<const std::uint8_t> cdb) const {
    const ScsiAnswers& scsi = disk_.scsi;
    if (scsi.bridge != BridgeTunnel::kNone) return TunnelAnswer(cdb);
    switch (cdb[0]) {
      case 0x12:  // INQUIRY, standard or the unit serial number page
        if (cdb[1] & 1)
          return cdb[2] == 0x80 ? SerialPage(scsi.serial) : std::vector<std::uint8_t>();
        return StandardInquiry(scsi);
      case 0x85:
      case 0xA1:  // ATA PASS-THROUGH: IDENTIFY DEVICE answered by an ATA drive behind it
        if (!(cdb[0] == 0x85 ? scsi.passThrough16 : scsi.passThrough12)) return {};
        return {disk_.identify.begin(), disk_.identify.end()};
      case 0x4D: {  // LOG SENSE
        const std::uint8_t page = cdb[2] & 0x3F;
        if (page == 0 && !scsi.logPages.empty()) return PageList(scsi);
        const auto found = scsi.logPages.find(page);
        return found == scsi.logPages.end() ? std::vector<std::uint8_t>() : found->second;
      }
      case 0x03:
        return scsi.requestSense;
      case 0x37:
        return scsi.defects10;
      case 0xB7:
        return scsi.defects12;
      default:
        return {};
    }
  }

  static std::vector<std::uint8_t> StandardInquiry(const ScsiAnswers& scsi) {
    std::vector<std::uint8_t> data(36, ' ');
    data[0] = 0;  // a disk
    const auto put = [&data](std::size_t at, std::size_t width, const std::string& text) {
      std::copy_n(text.begin(), std::min(width, text.size()), data.begin() + at);
    };
    put(8, 8, scsi.vendor);
    put(16, 16, scsi.product);
    put(32, 4, scsi.revision);
    return data;
  }

  static std::vector<std::uint8_t> SerialPage(const std::string& serial) {
    std::vector<std::uint8_t> page(4 + serial.size());
    page[1] = 0x80;
    page[3] = static_cast<std::uint8_t>(serial.size());
    std::copy(serial.begin(), serial.end(), page.begin() + 4);
    return page;
  }

  static std::vector<std::uint8_t> PageList(const ScsiAnswers& scsi) {
    std::vector<std::uint8_t> list(4 + scsi.logPages.size());
    list[3] = static_cast<std::uint8_t>(scsi.logPages.size());
    std::size_t at = 4;
    for (const auto& page : scsi.logPages) list[at++] = page.first;
    return list;
  }

  FakeDiskSystem& system_;
  const FakeDisk& disk_;
  std::size_t received_ = 0;
  std::optional<BridgeRoad> bridge_;
  JmicronBlock jmicronBlock_{};  // the last command block a JMicron NVMe bridge was sent
  bool unitAttentionSaid_ = false;
  std::vector<std::uint8_t> sense_;
};

}  // namespace

FakeDiskSystem::~FakeDiskSystem() {
  if (!sync_) return;  // moved from
  std::unique_lock lock(sync_->mutex);
  sync_->released = true;
  sync_->changed.notify_all();
  sync_->changed.wait(lock, [this] { return openHandles == 0; });
}

void FakeDiskSystem::Hang(std::optional<std::chrono::milliseconds> time) {
  std::unique_lock lock(sync_->mutex);
  const auto released = [this] { return sync_->released; };
  if (time) {
    sync_->changed.wait_for(lock, *time, released);
  } else {
    sync_->changed.wait(lock, released);
  }
}

void FakeDiskSystem::HandleClosed() {
  const std::lock_guard lock(sync_->mutex);
  --openHandles;
  sync_->changed.notify_all();
}

std::unique_ptr<DiskList> FakeDiskSystem::ListDisks() {
  if (listFails) return nullptr;
  return std::make_unique<FakeList>(*this);
}

std::unique_ptr<DiskHandle> FakeDiskSystem::Open(const std::string& path, int& error) {
  const auto disk =
      std::find_if(disks.begin(), disks.end(), [&](const FakeDisk& d) { return d.path == path; });
  const bool hangs = disk != disks.end() && disk->openHangs;
  {
    const std::lock_guard lock(sync_->mutex);
    opened.push_back(path);
    if (hangs) ++openHandles;  // the fake is not destroyed while an opening waits on it
  }
  if (hangs) {  // released only as the fake goes: this is the last it may touch of it
    Hang(std::nullopt);
    error = kFakeTimeoutError;
    HandleClosed();
    return nullptr;
  }
  if (disk == disks.end()) {
    error = 2;
    return nullptr;
  }
  if (disk->openError) {
    error = *disk->openError;
    return nullptr;
  }
  return std::make_unique<FakeHandle>(*this, *disk);
}

std::vector<Step> FakeDiskSystem::StepsOf(const std::string& path) const {
  std::vector<Step> steps;
  for (const RecordedRequest& request : requests) {
    if (request.path == path) steps.push_back(request.step);
  }
  return steps;
}

FakeDisk HealthyDisk(const std::string& path, std::uint32_t deviceNumber) {
  FakeDisk disk;
  disk.path = path;
  disk.deviceNumber = deviceNumber;
  disk.identify = IdentifySector("MODEL " + path.substr(path.size() - 1), "SERIAL", "FW 1.0");
  disk.attributes = AttributeSector({{1, 100, 99, {0, 0, 0, 0, 0, 0}},
                                     {9, 98, 98, {0xD2, 0x04, 0, 0, 0, 0}},
                                     {194, 36, 45, {36, 0, 20, 0, 45, 0}}});
  disk.thresholds = ThresholdSector({{1, 6}, {9, 0}, {194, 0}});
  return disk;
}

FakeDisk HealthyNvmeDisk(const std::string& path, std::uint32_t deviceNumber) {
  FakeDisk disk;
  disk.path = path;
  disk.deviceNumber = deviceNumber;
  disk.bus = DiskBus::kNvme;
  disk.nvmeIdentity = {"NV-" + path.substr(path.size() - 1) + "                ",
                       "NVME MODEL                              ", "1.0     "};
  disk.healthLog[0] = 0x04;  // critical warning: reliability degraded
  disk.healthLog[1] = 0x3C;  // 316 K
  disk.healthLog[2] = 0x01;
  disk.healthLog[3] = 100;     // available spare
  disk.healthLog[4] = 10;      // its threshold
  disk.healthLog[5] = 3;       // percentage used
  disk.healthLog[32 + 8] = 1;  // data units read: 2^64
  disk.healthLog[48] = 0x39;   // data units written: 12345
  disk.healthLog[48 + 1] = 0x30;
  disk.healthLog[128] = 0xE8;  // power-on hours: 1000
  disk.healthLog[128 + 1] = 0x03;
  std::fill_n(disk.healthLog.begin() + 160, 16, 0xFF);  // media errors: 2^128 - 1
  disk.healthLog[196] = 7;                              // critical temperature time
  return disk;
}

}  // namespace trelmoss::test
