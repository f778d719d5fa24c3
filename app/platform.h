// What each platform provides to the run; implemented once per platform folder.
#pragma once

#include <memory>
#include <string>

namespace trelmoss {

class DiskSystem;

// Makes the process independent of its surroundings before anything else runs: on Linux a
// closed standard stream or a reader of standard output that went away must neither end the
// process nor let a disk or the report take the stream's place.
void PrepareProcess();
// The full path of the running executable, never cut short.
std::string ExecutablePath();
// The machine's own disks.
std::unique_ptr<DiskSystem> MakeDiskSystem();
// The hourly task: registered from its XML, or deleted; `said` tells what was done, or why not.
bool RegisterHourlyTask(const std::string& taskXml, std::string& said);
bool DeleteHourlyTask(std::string& said);
// An entry in the system's event log; nothing where the platform keeps none for programs.
void LogEvent(bool error, const std::string& text);
// The machine's name; empty when it cannot be had.
std::string HostName();

}  // namespace trelmoss
