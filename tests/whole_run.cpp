#include "tests/whole_run.h"

#include "app/run.h"
#include "tests/ini_document.h"

namespace trelmoss::test {

int WholeRun::operator()(const std::vector<std::string>& args) {
  RunServices services;
  services.executablePath = executablePath;
  services.openDefinitions = [this](const std::string& path) {
    definitionsPathAsked = path;
    return CollectedDefinitions(definitions);
  };
  services.disks = &disks;
  services.writeReport = [this](const std::string& path, std::string_view bytes, int& error) {
    error = failingPath.empty() || failingPath == path ? writeError : 0;
    if (error == 0) written[path] = std::string(bytes);
    return error == 0;
  };
  services.sameFile = [](const std::string& first, const std::string& second) {
    return first == second;
  };
  services.registerTask = [this](const std::string& xml, std::string& said) {
    taskXml = xml;
    said = schedulerWorks ? "scheduled" : "not scheduled";
    return schedulerWorks;
  };
  services.deleteTask = [this](std::string& said) {
    said = schedulerWorks ? "unscheduled" : "not unscheduled";
    return schedulerWorks;
  };
  services.logEvent = [this](bool error, const std::string& text) {
    events.emplace_back(error, text);
  };
  services.now = [this] { return now; };
  services.hostName = [] { return std::string("test-host"); };
  status = RunTrelmoss(args, console, services);
  return status;
}

}  // namespace trelmoss::test
