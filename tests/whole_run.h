// One whole run of the program in-process: definitions as text, the disks from the fake, every
// report kept in memory by its path, the console's text kept.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "model/console.h"
#include "tests/fake_disks.h"

namespace trelmoss::test {

struct WholeRun {
  std::string executablePath = "/opt/trelmoss/bin/trelmoss";
  std::string definitions;
  FakeDiskSystem disks;
  int writeError = 0;       // the error number a report write fails with; 0: it succeeds
  std::string failingPath;  // when set, only a write to this path fails
  double now = 1700000000.25;

  bool schedulerWorks = true;
  std::string taskXml;                               // what the scheduler was given
  std::vector<std::pair<bool, std::string>> events;  // (error, text) as logged

  std::map<std::string, std::string> written;  // the reports, by path
  std::string definitionsPathAsked;
  Console console;
  int status = 0;

  // `args` holds the program name as invoked, then the arguments.
  int operator()(const std::vector<std::string>& args);
};

}  // namespace trelmoss::test
