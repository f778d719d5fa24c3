#include "report/report_file.h"

#include <windows.h>

namespace trelmoss {
namespace {

std::string DirectoryOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("\\/");
  if (separator == std::string::npos) return ".";
  return path.substr(0, separator + 1);
}

// Each step returns 0 or the error number, taken before any clean-up can change it.
DWORD WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) return GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    bytes.remove_prefix(written);
  }
  return 0;
}

// A console, a pipe or a device named as the target is written directly.
bool OpenNonDiskTarget(const std::string& path, HANDLE& file) {
  file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  if (GetFileType(file) != FILE_TYPE_DISK) return true;
  CloseHandle(file);
  return false;
}

DWORD WriteInPlace(HANDLE file, std::string_view bytes) {
  const DWORD writeError = WriteAll(file, bytes);
  CloseHandle(file);
  return writeError;
}

// An earlier report is replaced with ReplaceFileA, which keeps its security descriptor, its
// attributes (hidden, archive...) and its streams; a new one is moved into place.
DWORD PutInPlace(const char* temporary, const std::string& target, bool targetExists) {
  if (targetExists) {
    return ReplaceFileA(target.c_str(), temporary, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                        nullptr, nullptr)
               ? 0
               : GetLastError();
  }
  return MoveFileExA(temporary, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : GetLastError();
}

DWORD ReplaceAtomically(const std::string& target, bool targetExists, std::string_view bytes) {
  char temporary[MAX_PATH] = {};
  if (GetTempFileNameA(DirectoryOf(target).c_str(), "trl", 0, temporary) == 0) {
    return GetLastError();
  }
  const HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (error == 0) {
    error = WriteAll(file, bytes);
    if (error == 0 && !FlushFileBuffers(file)) error = GetLastError();
    if (!CloseHandle(file) && error == 0) error = GetLastError();
  }
  if (error == 0) error = PutInPlace(temporary, target, targetExists);
  if (error != 0) DeleteFileA(temporary);
  return error;
}

// The full path, with forward slashes turned back and Windows' own case folding applied.
std::string ComparablePath(const std::string& path) {
  char full[MAX_PATH * 4] = {};
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  std::string comparable = length > 0 && length < sizeof full ? std::string(full, length) : path;
  for (char& c : comparable) {
    if (c == '/') c = '\\';
  }
  CharUpperBuffA(comparable.data(), static_cast<DWORD>(comparable.size()));
  return comparable;
}

// The volume and file index of an existing file, which hard links share.
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& identity) {
  const HANDLE file =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(file, &identity) != 0;
  CloseHandle(file);
  return known;
}

}  // namespace

bool NameTheSameFile(const std::string& first, const std::string& second) {
  if (ComparablePath(first) == ComparablePath(second)) return true;
  BY_HANDLE_FILE_INFORMATION a{};
  BY_HANDLE_FILE_INFORMATION b{};
  return FileIdentity(first, a) && FileIdentity(second, b) &&
         a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

bool WriteReportFile(const std::string& path, std::string_view bytes, int& error) {
  const DWORD attributes =
      path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
  HANDLE file = INVALID_HANDLE_VALUE;
  DWORD failure = 0;
  if (path.empty()) {
    failure = ERROR_PATH_NOT_FOUND;
  } else if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    failure = ERROR_ACCESS_DENIED;  // what opening a folder as a file answers
  } else if (OpenNonDiskTarget(path, file)) {
    failure = WriteInPlace(file, bytes);
  } else {
    failure = ReplaceAtomically(path, attributes != INVALID_FILE_ATTRIBUTES, bytes);
  }
  error = static_cast<int>(failure);
  return failure == 0;
}

}  // namespace trelmoss
