#include "app/run.h"

#include "device/disk_system.h"
#include "model/console.h"
#include "model/definitions.h"
#include "model/drive_table.h"
#include "report/report.h"

namespace trelmoss {
namespace {

void PrintHelp(Console& console, const std::string& program, const std::string& iniPath) {
  PrintMessage(console,
               "usage: %s <output.xml>\r\n"
               "Reads the S.M.A.R.T. data of every physical disk (up to 32) and writes it, with\r\n"
               "each drive's identity, into the XML report <output.xml>.\r\n"
               "Attribute definitions are read from %s\r\n"
               "Exit status: 1 report written; -2 no argument, or the disks cannot be listed;\r\n"
               "-3 the report cannot be written.\r\n",
               program.c_str(), iniPath.c_str());
}

}  // namespace

int RunTrelmoss(const std::vector<std::string>& args, Console& console,
                const RunServices& services) {
  const std::string iniPath = DefinitionsPathFor(services.executablePath);
  const auto table =
      std::make_unique<DriveTable>(*services.openDefinitions(iniPath), iniPath, console);
  PrintMessage(console, "Trelmoss v1.1\r\n");
  const std::string program = args.empty() ? std::string("trelmoss") : args[0];
  if (args.size() < 2) {
    PrintMessage(console, "usage: %s <output.xml>\r\n", program.c_str());
    return kStatusUsageOrDrives;
  }
  const std::string& outputPath = args[1];
  if (outputPath == "--help" || outputPath == "-h") {
    PrintHelp(console, program, iniPath);
    return kStatusInformation;
  }
  if (outputPath == "--version") return kStatusInformation;

  const std::unique_ptr<Report> report = Report::Create();
  if (!table->EnumerateDrives(*services.disks, console)) {
    PrintMessage(console, "Error enumerating physical drives");
    return kStatusUsageOrDrives;
  }
  PrintMessage(console, "Total drives: %d\r\n", table->DriveCount());
  report->AddDrives(*table);
  int error = 0;
  if (!services.writeReport(outputPath, report->Render(), error)) {
    PrintMessage(console, "can't write report %s  (Error %d)\r\n", outputPath.c_str(), error);
    return kStatusReportFailed;
  }
  return kStatusReportWritten;
}

}  // namespace trelmoss
