// In-process costs of a run: decoding the sectors of 32 drives with 30 attributes each and
// building their report, the report alone, the whole run over the fake disks, and loading a
// definitions file.
#include <benchmark/benchmark.h>

#include <string>

#include "app/run.h"
#include "device/ata/ata_decoders.h"
#include "model/console.h"
#include "model/drive_table.h"
#include "report/report.h"
#include "tests/fake_disks.h"
#include "tests/ini_document.h"
#include "tests/whole_run.h"

namespace trelmoss {
namespace {

struct DriveSectors {
  test::SectorImage identify, attributes, thresholds;
};

DriveSectors ThirtyAttributes(int drive) {
  std::vector<test::AttributeRow> rows;
  std::vector<test::ThresholdRow> thresholds;
  for (std::uint8_t i = 0; i < 30; ++i) {
    const auto id = static_cast<std::uint8_t>(i * 8 + 1);
    rows.push_back({id, 100, 99, {static_cast<std::uint8_t>(drive), i, 0, 0, 0, 0}});
    thresholds.push_back({id, 10});
  }
  return {test::IdentifySector("BENCH MODEL " + std::to_string(drive), "SERIAL", "FW"),
          test::AttributeSector(rows), test::ThresholdSector(thresholds)};
}

std::string DefinitionsText(int count) {
  std::string text = "[General]\nMax Attributes=" + std::to_string(count) + "\n";
  for (int i = 0; i < count; ++i) {
    text += "[Attrib" + std::to_string(i) + "]\nId=" + std::to_string(i % 255 + 1) +
            "\nCritical=0\nName=Attribute number " + std::to_string(i) + "\nDetails=text\n";
  }
  return text;
}

void FillTable(DriveTable& table, const std::vector<DriveSectors>& drives) {
  for (std::size_t i = 0; i < drives.size(); ++i) {
    DriveRecord& record =
        table.RegisterDrive("/dev/sd" + std::to_string(i), static_cast<std::uint32_t>(i));
    DecodeIdentity(record, drives[i].identify);
    DecodeAttributes(table, record.slot, drives[i].attributes);
    DecodeThresholds(table, record.slot, drives[i].thresholds);
  }
}

void DefineAll(DriveTable& table) {
  for (unsigned id = 1; id <= 255; ++id) {
    table.AddDefinition({0, static_cast<std::uint8_t>(id), "Attribute " + std::to_string(id), ""});
  }
}

void BM_DecodeAndReport32x30(benchmark::State& state) {
  std::vector<DriveSectors> drives;
  for (int i = 0; i < 32; ++i) drives.push_back(ThirtyAttributes(i));
  for (auto _ : state) {
    DriveTable table;
    DefineAll(table);
    FillTable(table, drives);
    const auto report = Report::Create();
    report->AddDrives(table);
    benchmark::DoNotOptimize(report->Render());
  }
}
BENCHMARK(BM_DecodeAndReport32x30)->Unit(benchmark::kMicrosecond);

void BM_ReportOnly32x30(benchmark::State& state) {
  std::vector<DriveSectors> drives;
  for (int i = 0; i < 32; ++i) drives.push_back(ThirtyAttributes(i));
  DriveTable table;
  DefineAll(table);
  FillTable(table, drives);
  for (auto _ : state) {
    const auto report = Report::Create();
    report->AddDrives(table);
    benchmark::DoNotOptimize(report->Render());
  }
}
BENCHMARK(BM_ReportOnly32x30)->Unit(benchmark::kMicrosecond);

void BM_WholeRunOverFake32(benchmark::State& state) {
  test::WholeRun run;
  for (int i = 0; i < 32; ++i) {
    test::FakeDisk disk =
        test::HealthyDisk("/dev/sd" + std::to_string(i), static_cast<std::uint32_t>(i));
    const DriveSectors sectors = ThirtyAttributes(i);
    disk.identify = sectors.identify;
    disk.attributes = sectors.attributes;
    disk.thresholds = sectors.thresholds;
    run.disks.disks.push_back(disk);
  }
  run.definitions = DefinitionsText(255);
  for (auto _ : state) {
    run.disks.requests.clear();
    run.console = Console();
    benchmark::DoNotOptimize(run({"trelmoss", "r.xml"}));
  }
}
BENCHMARK(BM_WholeRunOverFake32)->Unit(benchmark::kMicrosecond);

// Drives answering each command after some milliseconds, read side by side (jobs 0: all at
// once) and one after another: {drives, milliseconds, jobs}.
void BM_SlowDrives(benchmark::State& state) {
  test::WholeRun run;
  for (int i = 0; i < state.range(0); ++i) {
    run.disks.disks.push_back(
        test::HealthyDisk("/dev/sd" + std::to_string(i), static_cast<std::uint32_t>(i)));
    run.disks.disks.back().latency = std::chrono::milliseconds(state.range(1));
  }
  const std::string jobs = std::to_string(state.range(2) == 0 ? 32 : state.range(2));
  for (auto _ : state) {
    run.disks.requests.clear();
    benchmark::DoNotOptimize(run({"trelmoss", "--jobs", jobs, "r.xml"}));
  }
}
BENCHMARK(BM_SlowDrives)
    ->Args({32, 5, 0})
    ->Args({32, 5, 1})
    ->Args({19, 40, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_LoadDefinitions(benchmark::State& state) {
  const std::string text = DefinitionsText(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Console console;
    DriveTable table(*test::CollectedDefinitions(text), "bench.ini", console);
    benchmark::DoNotOptimize(table.Definitions().size());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LoadDefinitions)->Arg(58)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace trelmoss

BENCHMARK_MAIN();
