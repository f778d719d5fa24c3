// The hourly task's definition: what Task Scheduler must read back from it, whatever the paths.
#include "report/task_xml.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <filesystem>

#include "app/run.h"
#include "tests/whole_run.h"

namespace trelmoss {
namespace {

std::string Text(const tinyxml2::XMLDocument& task, std::initializer_list<const char*> path) {
  const tinyxml2::XMLElement* at = task.RootElement();
  for (const char* name : path) at = at ? at->FirstChildElement(name) : nullptr;
  return at && at->GetText() ? at->GetText() : "";
}

TEST(TaskXml, PathsAsWindowsReadsThemBack) {
  const struct {
    std::vector<std::string> arguments;
    const char* line;  // the Arguments element's text
  } cases[] = {
      {{"--health", "C:\\ProgramData\\Trelmoss\\report.xml"},
       "--health C:\\ProgramData\\Trelmoss\\report.xml"},
      {{"--no-wake", "--prometheus", "C:\\Program Files\\windows_exporter\\textfile_inputs\\t.prom",
        "C:\\R & D\\<a>.xml"},
       "--no-wake --prometheus \"C:\\Program Files\\windows_exporter\\textfile_inputs\\t.prom\" "
       "\"C:\\R & D\\<a>.xml\""},
      {{"C:\\My Reports\\"}, "\"C:\\My Reports\\\\\""},  // the closing quote stays a quote
      {{"C:\\Reports\\"}, "C:\\Reports\\"},
      {{"say \"hi\"\\"}, "\"say \\\"hi\\\"\\\\\""},
      {{""}, "\"\""},
  };
  for (const auto& c : cases) {
    tinyxml2::XMLDocument task;
    ASSERT_EQ(task.Parse(TaskXml("C:\\Program Files\\Trelmoss\\trelmoss.exe", c.arguments).c_str()),
              tinyxml2::XML_SUCCESS);
    EXPECT_EQ(Text(task, {"Actions", "Exec", "Arguments"}), c.line);
    EXPECT_EQ(Text(task, {"Actions", "Exec", "Command"}),
              "\"C:\\Program Files\\Trelmoss\\trelmoss.exe\"");
    EXPECT_EQ(Text(task, {"Principals", "Principal", "UserId"}), "S-1-5-18");
    EXPECT_EQ(Text(task, {"Principals", "Principal", "RunLevel"}), "HighestAvailable");
    EXPECT_EQ(Text(task, {"Triggers", "TimeTrigger", "Repetition", "Interval"}), "PT1H");
    EXPECT_EQ(Text(task, {"Settings", "MultipleInstancesPolicy"}), "IgnoreNew");
    EXPECT_EQ(Text(task, {"Settings", "DisallowStartIfOnBatteries"}), "false");
    EXPECT_EQ(Text(task, {"Settings", "StopIfGoingOnBatteries"}), "false");
    EXPECT_EQ(Text(task, {"Settings", "ExecutionTimeLimit"}), "PT10M");
  }
}

// --schedule hands the scheduler the run's own options, paths made full, and reads no disk;
// --unschedule needs no report path. A scheduler that fails fails the command.
TEST(TaskXml, ScheduleAndUnscheduleFromTheCommandLine) {
  test::WholeRun run;
  run.disks.disks = {test::HealthyDisk("/dev/sda", 0)};
  EXPECT_EQ(run({"trelmoss", "--schedule", "--health", "--prometheus", "/m/t.prom", "/r/r.xml"}),
            kStatusInformation);
  // Full paths as the platform makes them ("C:\\m\\t.prom" on Windows).
  const auto full = [](const char* path) { return std::filesystem::absolute(path).string(); };
  EXPECT_NE(run.taskXml.find("<Arguments>--health --prometheus " + full("/m/t.prom") + " " +
                             full("/r/r.xml") + "</Arguments>"),
            std::string::npos);
  EXPECT_NE(run.taskXml.find("<Command>\"/opt/trelmoss/bin/trelmoss\"</Command>"),
            std::string::npos);
  EXPECT_TRUE(run.console.Text().ends_with("Trelmoss v1.1\r\nscheduled\r\n"));
  EXPECT_TRUE(run.disks.opened.empty() && run.written.empty());
  test::WholeRun gone;
  gone.schedulerWorks = false;
  EXPECT_EQ(gone({"trelmoss", "--unschedule"}), kStatusUsageOrDrives);
  EXPECT_TRUE(gone.console.Text().ends_with("Trelmoss v1.1\r\nnot unscheduled\r\n"));
  test::WholeRun refused;
  EXPECT_EQ(refused({"trelmoss", "--schedule", "--prometheus", "", "r.xml"}), kStatusUsageOrDrives);
  EXPECT_TRUE(refused.taskXml.empty());
}

}  // namespace
}  // namespace trelmoss
