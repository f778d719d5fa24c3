#include "app/schedule.h"

#include "app/run.h"
#include "model/console.h"
#include "report/task_xml.h"

namespace trelmoss {

int ScheduleHourlyRun(const std::vector<std::string>& arguments, Console& console,
                      const RunServices& services) {
  std::string said;
  const bool registered = services.registerTask(TaskXml(services.executablePath, arguments), said);
  PrintMessage(console, "%s\r\n", said.c_str());
  return registered ? kStatusInformation : kStatusUsageOrDrives;
}

int UnscheduleHourlyRun(Console& console, const RunServices& services) {
  std::string said;
  const bool deleted = services.deleteTask(said);
  PrintMessage(console, "%s\r\n", said.c_str());
  return deleted ? kStatusInformation : kStatusUsageOrDrives;
}

}  // namespace trelmoss
