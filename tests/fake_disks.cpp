#include "tests/fake_disks.h"

#include <algorithm>
#include <cstring>

#include "device/ata_pass_through.h"

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
    system_.mostOpenHandles = std::max(system_.mostOpenHandles, ++system_.openHandles);
  }
  ~FakeHandle() override { --system_.openHandles; }

  bool GetDeviceNumber(std::uint32_t& number, int& error) override {
    if (disk_.numberError) {
      error = *disk_.numberError;
      return false;
    }
    number = disk_.deviceNumber;
    return true;
  }

  bool Control(std::uint32_t code, std::span<const std::uint8_t> request,
               std::span<std::uint8_t> reply, int& error) override {
    system_.requests.push_back({disk_.path, code, {request.begin(), request.end()}, reply.size()});
    const std::optional<Step> step = StepOf(code, request);
    if (!step) {
      system_.unexpected.push_back(disk_.path);
      error = 87;
      return false;
    }
    if (const auto failure = disk_.failures.find(*step); failure != disk_.failures.end()) {
      error = failure->second;
      return false;
    }
    Answer(*step, reply);
    return true;
  }

 private:
  static std::optional<Step> StepOf(std::uint32_t code, std::span<const std::uint8_t> request) {
    if (code == kSmartGetVersion) return Step::kVersion;
    const AtaRegisters registers = RequestRegisters(request);
    if (!IsPermittedAtaCommand(registers)) return std::nullopt;
    if (code == kSmartSendDriveCommand && registers.features == 0xD8) return Step::kEnable;
    if (code != kSmartRcvDriveData) return std::nullopt;
    if (registers.command == 0xEC) return Step::kIdentify;
    return registers.features == 0xD0 ? Step::kReadData : Step::kReadThresholds;
  }

  void Answer(Step step, std::span<std::uint8_t> reply) const {
    std::vector<std::uint8_t> full(reply.size(), 0);
    if (step == Step::kVersion) {
      full[0] = 1;
      StoreLittleEndian32(full.data() + kCapabilitiesOffset, disk_.capabilities);
    }
    const SectorImage* sector = step == Step::kIdentify         ? &disk_.identify
                                : step == Step::kReadData       ? &disk_.attributes
                                : step == Step::kReadThresholds ? &disk_.thresholds
                                                                : nullptr;
    if (sector != nullptr && full.size() >= kReplyDataOffset + sector->size()) {
      StoreLittleEndian32(full.data(), 512);
      std::copy(sector->begin(), sector->end(), full.begin() + kReplyDataOffset);
    }
    const auto limit = disk_.replyLimits.find(step);
    const std::size_t filled =
        limit == disk_.replyLimits.end() ? full.size() : std::min(full.size(), limit->second);
    std::copy_n(full.begin(), filled, reply.begin());
  }

  FakeDiskSystem& system_;
  const FakeDisk& disk_;
};

}  // namespace

std::unique_ptr<DiskList> FakeDiskSystem::ListDisks() {
  if (listFails) return nullptr;
  return std::make_unique<FakeList>(*this);
}

std::unique_ptr<DiskHandle> FakeDiskSystem::Open(const std::string& path, int& error) {
  opened.push_back(path);
  const auto disk =
      std::find_if(disks.begin(), disks.end(), [&](const FakeDisk& d) { return d.path == path; });
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

}  // namespace trelmoss::test
