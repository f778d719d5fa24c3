// Scheduling the hourly run from the program itself, so that whoever installs from the zip gets
// what the MSI sets up: a task named Trelmoss that runs this program with the options given.
#pragma once

#include <string>
#include <vector>

namespace trelmoss {

class Console;
struct RunServices;

// `arguments` are those the scheduled run gets, paths already full. Prints what was done.
int ScheduleHourlyRun(const std::vector<std::string>& arguments, Console& console,
                      const RunServices& services);
int UnscheduleHourlyRun(Console& console, const RunServices& services);

}  // namespace trelmoss
