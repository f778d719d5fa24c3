#include "report/task_xml.h"

#include <tinyxml2.h>

namespace trelmoss {
namespace {

constexpr const char* kTaskNamespace = "http://schemas.microsoft.com/windows/2004/02/mit/task";
constexpr const char* kLocalSystem = "S-1-5-18";
// A repetition needs a start; any moment in the past starts it at once.
constexpr const char* kStartBoundary = "2026-01-01T00:00:00";

tinyxml2::XMLElement* Add(tinyxml2::XMLNode& parent, const char* name, const char* text = nullptr) {
  tinyxml2::XMLElement* element = parent.GetDocument()->NewElement(name);
  if (text != nullptr) element->SetText(text);
  parent.InsertEndChild(element);
  return element;
}

void AddTrigger(tinyxml2::XMLElement& task) {
  tinyxml2::XMLElement* trigger = Add(*Add(task, "Triggers"), "TimeTrigger");
  Add(*Add(*trigger, "Repetition"), "Interval", "PT1H");  // with no duration: for ever
  Add(*trigger, "StartBoundary", kStartBoundary);
  Add(*trigger, "Enabled", "true");
}

void AddPrincipal(tinyxml2::XMLElement& task) {
  tinyxml2::XMLElement* principal = Add(*Add(task, "Principals"), "Principal");
  principal->SetAttribute("id", "Author");
  Add(*principal, "UserId", kLocalSystem);
  Add(*principal, "RunLevel", "HighestAvailable");  // the disks open for administrators only
}

// A UPS counts as a battery: a server on one must still be read.
void AddSettings(tinyxml2::XMLElement& task) {
  tinyxml2::XMLElement* settings = Add(task, "Settings");
  Add(*settings, "MultipleInstancesPolicy", "IgnoreNew");
  Add(*settings, "DisallowStartIfOnBatteries", "false");
  Add(*settings, "StopIfGoingOnBatteries", "false");
  Add(*settings, "StartWhenAvailable", "true");
  Add(*settings, "ExecutionTimeLimit", "PT10M");
  Add(*settings, "Enabled", "true");
}

}  // namespace

std::string QuotedArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    quoted += c;
    backslashes = 0;
  }
  return quoted.append(2 * backslashes, '\\') + "\"";
}

std::string TaskXml(const std::string& program, const std::vector<std::string>& arguments) {
  tinyxml2::XMLDocument document;
  document.InsertEndChild(document.NewDeclaration("xml version=\"1.0\" encoding=\"UTF-16\""));
  tinyxml2::XMLElement* task = Add(document, "Task");
  task->SetAttribute("version", "1.2");
  task->SetAttribute("xmlns", kTaskNamespace);
  Add(*Add(*task, "RegistrationInfo"), "Description",
      "Writes the S.M.A.R.T. health report of every disk, every hour.");
  AddTrigger(*task);
  AddPrincipal(*task);
  AddSettings(*task);
  tinyxml2::XMLElement* actions = Add(*task, "Actions");
  actions->SetAttribute("Context", "Author");
  tinyxml2::XMLElement* exec = Add(*actions, "Exec");
  Add(*exec, "Command", ("\"" + program + "\"").c_str());
  std::string line;
  for (const std::string& argument : arguments) {
    line.append(line.empty() ? "" : " ").append(QuotedArgument(argument));
  }
  Add(*exec, "Arguments", line.c_str());
  tinyxml2::XMLPrinter printer;
  document.Print(&printer);
  return printer.CStr();
}

}  // namespace trelmoss
