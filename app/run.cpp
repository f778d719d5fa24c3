#include "app/run.h"

#include "device/disk_system.h"
#include "model/console.h"
#include "model/definitions.h"
#include "model/drive_table.h"
#include "report/metrics.h"
#include "report/report.h"

namespace trelmoss {
namespace {

void PrintHelp(Console& console, const std::string& program, const std::string& iniPath) {
  PrintMessage(console,
               "usage: %s [--no-wake] [--prometheus FILE] <output.xml>\r\n"
               "Reads the S.M.A.R.T. data of every physical disk (up to 32) and writes it, with\r\n"
               "each drive's identity, into the XML report <output.xml>.\r\n"
               "--prometheus FILE  also writes FILE, the same reading as Prometheus metrics for\r\n"
               "                   a textfile collector.\r\n"
               "--no-wake          leaves a drive in standby asleep: it is sent CHECK POWER\r\n"
               "                   MODE alone and listed with power=\"standby\".\r\n"
               "Attribute definitions are read from %s\r\n"
               "Exit status: 1 report written; -2 no argument, an unknown option, or the disks\r\n"
               "cannot be listed; -3 the report or the metrics cannot be written.\r\n",
               program.c_str(), iniPath.c_str());
}

int PrintUsage(Console& console, const std::string& program) {
  PrintMessage(console, "usage: %s <output.xml>\r\n", program.c_str());
  return kStatusUsageOrDrives;
}

struct Options {
  std::string metricsPath;  // empty: none asked for
  bool noWake = false;
  std::string reportPath;
};

// Options ("--name", with their values) come before the report path. False for an unknown option
// or a missing path.
bool ParseOptions(const std::vector<std::string>& args, Options& options) {
  std::size_t at = 1;
  for (; at < args.size() && args[at].starts_with("--"); ++at) {
    if (args[at] == "--no-wake") {
      options.noWake = true;
    } else if (args[at] == "--prometheus" && at + 1 < args.size()) {
      options.metricsPath = args[++at];
    } else {
      return false;
    }
  }
  if (at >= args.size()) return false;
  options.reportPath = args[at];
  return true;
}

bool WriteOutput(const RunServices& services, Console& console, const char* what,
                 const std::string& path, const std::string& bytes) {
  int error = 0;
  if (services.writeReport(path, bytes, error)) return true;
  PrintMessage(console, "can't write %s %s  (Error %d)\r\n", what, path.c_str(), error);
  return false;
}

}  // namespace

int RunTrelmoss(const std::vector<std::string>& args, Console& console,
                const RunServices& services) {
  const std::string iniPath = DefinitionsPathFor(services.executablePath);
  const auto table =
      std::make_unique<DriveTable>(*services.openDefinitions(iniPath), iniPath, console);
  PrintMessage(console, "Trelmoss v1.1\r\n");
  const std::string program = args.empty() ? std::string("trelmoss") : args[0];
  if (args.size() < 2) return PrintUsage(console, program);
  if (args[1] == "--help" || args[1] == "-h") {
    PrintHelp(console, program, iniPath);
    return kStatusInformation;
  }
  if (args[1] == "--version") return kStatusInformation;
  Options options;
  if (!ParseOptions(args, options)) return PrintUsage(console, program);
  const double startedAt = services.now();

  const std::unique_ptr<Report> report = Report::Create();
  if (!table->EnumerateDrives(*services.disks, console, options.noWake)) {
    PrintMessage(console, "Error enumerating physical drives");
    return kStatusUsageOrDrives;
  }
  PrintMessage(console, "Total drives: %d\r\n", table->DriveCount());
  report->AddDrives(*table);
  bool written = WriteOutput(services, console, "report", options.reportPath, report->Render());
  if (!options.metricsPath.empty()) {
    written &= WriteOutput(services, console, "metrics", options.metricsPath,
                           RenderMetrics(*table, startedAt));
  }
  return written ? kStatusReportWritten : kStatusReportFailed;
}

}  // namespace trelmoss
