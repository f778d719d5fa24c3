// One whole run of the program, from the definitions file to the saved report, with every
// platform service passed in: `main` wires in the real ones, tests their own.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trelmoss {

class Console;
class DiskSystem;
class DefinitionsFile;

struct RunServices {
  std::string executablePath;
  std::function<std::unique_ptr<DefinitionsFile>(const std::string& path)> openDefinitions;
  DiskSystem* disks = nullptr;
  // Writes a file whole or leaves the target untouched; used for the report and the metrics.
  std::function<bool(const std::string& path, std::string_view bytes, int& error)> writeReport;
  // Whether two paths lead to one file (links followed, names compared as the platform does).
  std::function<bool(const std::string& first, const std::string& second)> sameFile;
  // The platform's hourly task: registered from its XML, or deleted. Each says in `said` what it
  // did, or why it could not.
  std::function<bool(const std::string& taskXml, std::string& said)> registerTask;
  std::function<bool(std::string& said)> deleteTask;
  // An entry in the system's event log (Windows' Application log); where there is none, nothing.
  std::function<void(bool error, const std::string& text)> logEvent;
  // The time, in seconds since the Unix epoch.
  std::function<double()> now;
  // The machine's name, as the page is headed.
  std::function<std::string()> hostName;
};

// Exit statuses.
inline constexpr int kStatusReportWritten = 1;
inline constexpr int kStatusInformation = 0;  // --help, --version, --schedule, --unschedule
inline constexpr int kStatusUsageOrDrives =
    -2;                                         // a bad command line, or the disks cannot be listed
inline constexpr int kStatusReportFailed = -3;  // the report could not be written

// `args` holds the program name as invoked, then the options, then the report path.
int RunTrelmoss(const std::vector<std::string>& args, Console& console,
                const RunServices& services);

}  // namespace trelmoss
