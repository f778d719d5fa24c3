#include "tests/report_checks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <stdexcept>

namespace trelmoss::test {

TempDir::TempDir() {
  std::random_device entropy;
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const auto candidate = base / ("trelmoss-test-" + std::to_string(entropy()));
    if (std::filesystem::create_directory(candidate)) path_ = candidate.string();
  }
  if (path_.empty()) throw std::runtime_error("no temporary folder");
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

std::string Hex(std::string_view bytes) {
  std::string hex;
  char digits[3];
  for (const char c : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(c));
    hex.append(digits);
  }
  return hex;
}

std::size_t EntriesIn(const std::string& folder) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void KeepReportForComparison(const std::string& reportBytes, const char* extension) {
  const char* folder = std::getenv("TRELMOSS_REPORT_DUMP");
  if (folder == nullptr) return;
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name =
      test ? std::string(test->test_suite_name()) + "." + test->name() : std::string("outside");
  static std::map<std::string, int> counts;
  const int count = counts[name + extension]++;
  WriteFile(std::string(folder) + "/" + name + "." + std::to_string(count) + extension,
            reportBytes);
}

}  // namespace trelmoss::test
