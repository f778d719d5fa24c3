#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/run.h"
#include "device/disk_system.h"
#include "model/console.h"
#include "model/definitions.h"
#include "report/report_file.h"

int main(int argc, char** argv) {
  trelmoss::PrepareProcess();
  const std::unique_ptr<trelmoss::DiskSystem> disks = trelmoss::MakeDiskSystem();
  trelmoss::RunServices services;
  services.executablePath = trelmoss::ExecutablePath();
  services.openDefinitions = trelmoss::OpenDefinitionsFile;
  services.disks = disks.get();
  services.writeReport = trelmoss::WriteReportFile;
  services.sameFile = trelmoss::NameTheSameFile;
  services.registerTask = trelmoss::RegisterHourlyTask;
  services.deleteTask = trelmoss::DeleteHourlyTask;
  services.logEvent = trelmoss::LogEvent;
  services.hostName = trelmoss::HostName;
  services.now = [] {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
  };
  trelmoss::Console console(stdout);
  return trelmoss::RunTrelmoss(std::vector<std::string>(argv, argv + argc), console, services);
}
