#include "app/platform.h"

#include <windows.h>
// clang-format off
#include <shlobj.h>
// clang-format on

#include <string>
#include <vector>

#include "device/windows/windows_disk_system.h"
#include "report/report_file.h"
#include "report/task_xml.h"

namespace trelmoss {
namespace {

// The one message of the message table built into the program (app/windows/messages.mc): the
// text as given, so that Event Viewer shows it whole.
constexpr DWORD kMessageAsGiven = 1;
constexpr const char* kEventSource = "Trelmoss";

std::string Folder(UINT(WINAPI* ask)(LPSTR, UINT)) {
  char path[MAX_PATH] = {};
  const UINT length = ask(path, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

// Where Task Scheduler keeps a registered task; a 32-bit program on 64-bit Windows sees the real
// System32 only as Sysnative.
std::string StoredTask() {
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  return Folder(GetWindowsDirectoryA) + (wow64 ? "\\Sysnative" : "\\System32") + "\\Tasks\\" +
         kTaskName;
}

// Runs schtasks with `arguments` and waits for it: its exit code, or -1 when it did not start.
int RunSchtasks(const std::string& arguments) {
  std::string line = "\"";
  line.append(Folder(GetSystemDirectoryA)).append("\\schtasks.exe\" ").append(arguments);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &process)) {
    return -1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

// Task Scheduler reads a definition in UTF-16 with its byte-order mark, as it writes them.
std::string Utf16WithMark(const std::string& ansi) {
  const int size = static_cast<int>(ansi.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
  std::vector<wchar_t> wide(static_cast<std::size_t>(length) + 1);
  wide[0] = static_cast<wchar_t>(0xFEFF);
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data() + 1, length);
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

// ProgramData\Trelmoss, where the reports and the task's definition are kept; empty when the
// system does not say where ProgramData is.
std::string DataFolder() {
  char common[MAX_PATH] = {};
  if (FAILED(
          SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common))) {
    return {};
  }
  return std::string(common) + "\\Trelmoss";
}

std::string WithError(const std::string& text, int error) {
  return text + "  (Error " + std::to_string(error) + ")";
}

}  // namespace

void PrepareProcess() {}  // a closed pipe only fails the write; nothing to guard against

// GetModuleFileNameA cuts a path that does not fit and answers with the buffer's size, so the
// buffer grows until the whole path and its NUL fit.
std::string ExecutablePath() {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return std::string(path.data(), length);
    if (path.size() >= 0x8000) return std::string(path.data(), length);  // the longest path
    path.resize(path.size() * 2);
  }
}

std::unique_ptr<DiskSystem> MakeDiskSystem() { return std::make_unique<WindowsDiskSystem>(); }

// The definition is kept beside the reports, where an administrator can read what was
// registered, and handed to schtasks, which replaces an earlier task of the same name.
bool RegisterHourlyTask(const std::string& taskXml, std::string& said) {
  const std::string folder = DataFolder();
  if (folder.empty()) {
    said = "can't find the ProgramData folder";
    return false;
  }
  if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    said = WithError("can't create " + folder, static_cast<int>(GetLastError()));
    return false;
  }
  const std::string file = folder + "\\trelmoss-task.xml";
  int error = 0;
  if (!WriteReportFile(file, Utf16WithMark(taskXml), error)) {
    said = WithError("can't write " + file, error);
    return false;
  }
  const int code =
      RunSchtasks(std::string("/Create /TN ") + kTaskName + " /XML \"" + file + "\" /F");
  if (code != 0) {
    said = "schtasks could not register the task from " + file + " (exit code " +
           std::to_string(code) + ")";
    return false;
  }
  said = std::string("scheduled the task ") + kTaskName + ", hourly as SYSTEM, from " + file;
  return true;
}

// A task that is already gone is what was asked for. Its kept definition goes with it.
bool DeleteHourlyTask(std::string& said) {
  if (const std::string folder = DataFolder(); !folder.empty()) {
    DeleteFileA((folder + "\\trelmoss-task.xml").c_str());
  }
  if (GetFileAttributesA(StoredTask().c_str()) == INVALID_FILE_ATTRIBUTES) {
    said = std::string("no task ") + kTaskName + " to unschedule";
    return true;
  }
  const int code = RunSchtasks(std::string("/Delete /TN ") + kTaskName + " /F");
  if (code != 0) {
    said = "schtasks could not delete the task (exit code " + std::to_string(code) + ")";
    return false;
  }
  said = std::string("unscheduled the task ") + kTaskName;
  return true;
}

// The source is registered by the installer with the message table; without it Event Viewer
// still shows the text, with a note that the description is missing.
void LogEvent(bool error, const std::string& text) {
  const HANDLE source = RegisterEventSourceA(nullptr, kEventSource);
  if (source == nullptr) return;
  const char* strings[] = {text.c_str()};
  ReportEventA(source, error ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE, 0, kMessageAsGiven,
               nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(source);
}

std::string HostName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size)) return {};
  return std::string(name, size);
}

}  // namespace trelmoss
