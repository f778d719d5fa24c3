#include "app/run.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "app/schedule.h"
#include "device/disk_system.h"
#include "model/console.h"
#include "model/definitions.h"
#include "model/drive_table.h"
#include "model/health.h"
#include "report/html.h"
#include "report/metrics.h"
#include "report/report.h"

namespace trelmoss {
namespace {

void PrintHelp(Console& console, const std::string& program, const std::string& iniPath) {
  PrintMessage(console,
               "usage: %s [--no-wake] [--health] [--prometheus FILE] [--html FILE]\r\n"
               "          [--jobs N] [--deadline SECONDS] <output.xml>\r\n"
               "       %s --schedule [options] <output.xml> | --unschedule\r\n"
               "Reads the S.M.A.R.T. data of every physical disk (up to 32; on Linux those\r\n"
               "behind MegaRAID controllers too) and writes it, with each drive's identity,\r\n"
               "into the XML report <output.xml>.\r\n"
               "--prometheus FILE  also writes FILE, the same reading as Prometheus metrics for\r\n"
               "                   a textfile collector.\r\n"
               "--html FILE        also writes FILE, the same reading as one web page to look\r\n"
               "                   at: every drive, its verdict and its attributes.\r\n"
               "--no-wake          leaves a drive in standby asleep: it is sent CHECK POWER\r\n"
               "                   MODE alone and listed with power=\"standby\".\r\n"
               "--health           also judges each drive good, warning, failing or unknown,\r\n"
               "                   asking an ATA drive its S.M.A.R.T. status, and prints every\r\n"
               "                   drive that is not good; on Windows each failing or warning\r\n"
               "                   drive also goes to the Application event log.\r\n"
               "--jobs N           reads at most N drives at once (1 to 32; all by default);\r\n"
               "                   --jobs 1 reads one after another.\r\n"
               "--deadline SECONDS writes what was read once SECONDS have passed since the\r\n"
               "                   start (120 by default): a drive still being opened or read\r\n"
               "                   is listed with \"no answer within SECONDS s\", one not yet\r\n"
               "                   reached with \"not read: the deadline of SECONDS s passed\r\n"
               "                   before its turn\". A drive whose command fails only after\r\n"
               "                   its whole 30 s, or ends as timed out, is sent nothing more.\r\n"
               "--schedule         registers the task \"Trelmoss\" that runs the program hourly\r\n"
               "                   as SYSTEM with these options and report path; --unschedule\r\n"
               "                   deletes it (Windows; on Linux the package's timer does it).\r\n"
               "Attribute definitions are read from %s\r\n"
               "Exit status: 1 report written; 0 help, version, task (un)scheduled; -2 no\r\n"
               "argument, a refused command line (the line before the usage says why), a\r\n"
               "task not (un)scheduled, or the disks cannot be listed; -3 the report or the\r\n"
               "metrics cannot be written.\r\n",
               program.c_str(), program.c_str(), iniPath.c_str());
}

int PrintUsage(Console& console, const std::string& program) {
  PrintMessage(console, "usage: %s <output.xml>\r\n", program.c_str());
  return kStatusUsageOrDrives;
}

inline constexpr unsigned kLongestDeadlineSeconds = 86400;

struct Options {
  std::string metricsPath;  // empty: none asked for
  std::string htmlPath;
  std::string jobs;  // as given; empty: not given
  std::string deadline;
  bool noWake = false;
  bool health = false;
  bool schedule = false;
  bool unschedule = false;
  std::string reportPath;
  ReadOptions reading;
};

bool Refuse(std::string& refusal, std::string why) {
  refusal = std::move(why);
  return false;
}

// A whole number from `lowest` to `highest`, in plain decimal digits.
bool ParseCount(const std::string& text, unsigned lowest, unsigned highest, unsigned& number) {
  if (text.empty() || text.size() > 9 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  number = static_cast<unsigned>(std::stoul(text));
  return number >= lowest && number <= highest;
}

// The value of an option that takes one: false when the command line ends first.
bool TakeValue(const std::vector<std::string>& args, std::size_t& at, std::string& value) {
  if (at + 1 >= args.size()) return false;
  value = args[++at];
  return true;
}

// --jobs and --deadline, when given, into the reading's options.
bool ReadCounts(Options& options, std::string& refusal) {
  if (!options.jobs.empty() && !ParseCount(options.jobs, 1, kMaxDrives, options.reading.jobs)) {
    return Refuse(refusal, "option --jobs takes a number from 1 to 32: " + options.jobs);
  }
  if (!options.deadline.empty() &&
      !ParseCount(options.deadline, 1, kLongestDeadlineSeconds, options.reading.deadlineSeconds)) {
    return Refuse(refusal, "option --deadline takes a number of seconds from 1 to 86400: " +
                               options.deadline);
  }
  return true;
}

// Options ("--name", with their values) come before the report path. On a refusal, the message
// that names what is wrong.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& refusal) {
  std::size_t at = 1;
  for (; at < args.size() && args[at].starts_with("--"); ++at) {
    const std::string& option = args[at];
    if (option == "--no-wake") {
      options.noWake = true;
    } else if (option == "--health") {
      options.health = true;
    } else if (option == "--schedule") {
      options.schedule = true;
    } else if (option == "--unschedule") {
      options.unschedule = true;
    } else if (option == "--prometheus") {
      if (!TakeValue(args, at, options.metricsPath)) {
        return Refuse(refusal, "option " + option + " needs a file");
      }
      if (options.metricsPath.empty()) return Refuse(refusal, "option " + option + ": empty path");
    } else if (option == "--html") {
      if (!TakeValue(args, at, options.htmlPath)) {
        return Refuse(refusal, "option " + option + " needs a file");
      }
      if (options.htmlPath.empty()) return Refuse(refusal, "option " + option + ": empty path");
    } else if (option == "--jobs" || option == "--deadline") {
      if (!TakeValue(args, at, option == "--jobs" ? options.jobs : options.deadline)) {
        return Refuse(refusal, "option " + option + " needs a number");
      }
    } else {
      return Refuse(refusal, "unknown option " + option);
    }
  }
  if (!ReadCounts(options, refusal)) return false;
  if (at >= args.size() && options.unschedule) return true;
  if (at >= args.size()) return Refuse(refusal, at > 1 ? "no report path" : "");
  options.reportPath = args[at];
  if (options.reportPath.empty()) return Refuse(refusal, "empty report path");
  return true;
}

// The metrics written over the report would lose it, whatever the two names look like.
bool OutputsCollide(const Options& options, const RunServices& services, std::string& refusal) {
  const std::pair<const char*, const std::string*> outputs[] = {
      {"the report", &options.reportPath},
      {"the metrics", &options.metricsPath},
      {"the page", &options.htmlPath}};
  for (std::size_t first = 0; first < std::size(outputs); ++first) {
    for (std::size_t second = first + 1; second < std::size(outputs); ++second) {
      const auto& [firstName, firstPath] = outputs[first];
      const auto& [secondName, secondPath] = outputs[second];
      if (firstPath->empty() || secondPath->empty() ||
          !services.sameFile(*firstPath, *secondPath)) {
        continue;
      }
      refusal = std::string(firstName) + " and " + secondName +
                " name the same file: " + *firstPath + " and " + *secondPath;
      return true;
    }
  }
  return false;
}

// What the scheduled run is given: the same options, its paths made full, since a task starts
// in the system folder.
std::vector<std::string> ScheduledArguments(const Options& options) {
  std::vector<std::string> arguments;
  if (options.noWake) arguments.push_back("--no-wake");
  if (options.health) arguments.push_back("--health");
  if (!options.metricsPath.empty()) {
    arguments.push_back("--prometheus");
    arguments.push_back(std::filesystem::absolute(options.metricsPath).string());
  }
  if (!options.htmlPath.empty()) {
    arguments.push_back("--html");
    arguments.push_back(std::filesystem::absolute(options.htmlPath).string());
  }
  for (const auto& [name, value] :
       {std::pair{"--jobs", options.jobs}, {"--deadline", options.deadline}}) {
    if (value.empty()) continue;
    arguments.push_back(name);
    arguments.push_back(value);
  }
  arguments.push_back(std::filesystem::absolute(options.reportPath).string());
  return arguments;
}

// After the count, each drive that is not good: its path, state and reasons. A failing or
// warning drive also goes to the event log, with its identity and, behind a RAID controller,
// where it sits.
void ShowVerdicts(Console& console, const DriveTable& table, const RunServices& services) {
  for (std::uint8_t slot = 0; slot < table.DriveCount(); ++slot) {
    const DriveRecord& drive = table.Drive(slot);
    if (!drive.health || drive.health->state == HealthState::kGood) continue;
    const std::string line = drive.devicePath + " health: " + DescribeHealth(*drive.health);
    PrintMessage(console, "%s\r\n", line.c_str());
    const HealthState state = drive.health->state;
    if (state == HealthState::kFailing || state == HealthState::kWarning) {
      // A disk behind a RAID controller is looked for by its controller and port.
      const char* place = drive.raid == RaidPlace::kMember ? ", behind a RAID controller" : "";
      services.logEvent(state == HealthState::kFailing,
                        line + "; model " + std::string(drive.Model()) + ", serial " +
                            std::string(drive.Serial()) + place);
    }
  }
}

bool WriteOutput(const RunServices& services, Console& console, const char* what,
                 const std::string& path, const std::string& bytes, bool logFailure) {
  int error = 0;
  if (services.writeReport(path, bytes, error)) return true;
  char number[32];
  std::snprintf(number, sizeof number, "  (Error %d)", error);
  const std::string line = std::string("can't write ") + what + " " + path + number;
  PrintMessage(console, "%s\r\n", line.c_str());
  if (logFailure) services.logEvent(true, line);
  return false;
}

}  // namespace

int RunTrelmoss(const std::vector<std::string>& args, Console& console,
                const RunServices& services) {
  const auto started = std::chrono::steady_clock::now();  // the deadline counts from here
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
  std::string refusal;
  if (!ParseOptions(args, options, refusal) || OutputsCollide(options, services, refusal)) {
    if (!refusal.empty()) PrintMessage(console, "%s\r\n", refusal.c_str());
    return PrintUsage(console, program);
  }
  if (options.unschedule) return UnscheduleHourlyRun(console, services);
  if (options.schedule) return ScheduleHourlyRun(ScheduledArguments(options), console, services);
  const double startedAt = services.now();

  const std::unique_ptr<Report> report = Report::Create();
  options.reading.leaveAsleep = options.noWake;
  options.reading.readStatus = options.health;
  options.reading.readLogs = options.health;
  options.reading.start = started;
  if (!table->EnumerateDrives(*services.disks, console, options.reading)) {
    PrintMessage(console, "Error enumerating physical drives");
    return kStatusUsageOrDrives;
  }
  PrintMessage(console, "Total drives: %d\r\n", table->DriveCount());
  if (options.health) {
    JudgeDrives(*table);
    ShowVerdicts(console, *table, services);
  }
  report->AddDrives(*table);
  bool written = WriteOutput(services, console, "report", options.reportPath, report->Render(),
                             options.health);
  if (!options.metricsPath.empty()) {
    written &= WriteOutput(services, console, "metrics", options.metricsPath,
                           RenderMetrics(*table, startedAt), options.health);
  }
  if (!options.htmlPath.empty()) {
    written &= WriteOutput(services, console, "page", options.htmlPath,
                           RenderHtml(*table, {services.hostName(), startedAt}), options.health);
  }
  return written ? kStatusReportWritten : kStatusReportFailed;
}

}  // namespace trelmoss
