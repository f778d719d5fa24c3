#include "tests/report_checks.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace trelmoss::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "trelmoss-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string SchemaProblems(const std::string& reportBytes) {
  const TempDir folder;
  WriteFile(folder.File("report.xml"), reportBytes);
  const std::string command = "xmllint --noout --schema '" TRELMOSS_SCHEMA_PATH "' '" +
                              folder.File("report.xml") + "' 2>'" + folder.File("errors") + "'";
  const int status = std::system(command.c_str());
  if (status == 0) return {};
  return "xmllint exit " + std::to_string(status) + ": " + ReadFile(folder.File("errors"));
}

}  // namespace trelmoss::test
