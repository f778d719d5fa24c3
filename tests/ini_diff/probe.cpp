// Writes what the lookups of every definitions file in a folder answer, in one text by which two
// platforms' readers can be compared: the section names the loader would see (empty ones
// dropped, the first of each name in either case kept); for the sections S and T and the keys K
// and L of the generated files, each string (in hex) and each integer; and the definitions the
// loader makes of the file (which, where the program has a reader of its own, must be the same
// through it).
//
// usage: ini_probe FOLDER OUTPUT
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "ini/ini_parser.h"
#include "tests/definitions_description.h"
#include "tests/ini_diff/probe_reader.h"
#include "tests/report_checks.h"

namespace trelmoss::test {
namespace {

constexpr const char* kSections[] = {"Attrib1", "General"};
constexpr const char* kKeys[] = {"Name", "Max Attributes"};

std::string Lookups(const IniReader& reader) {
  std::string answers = "names";
  std::set<std::string> seen;
  for (const std::string& name : reader.SectionNames()) {
    if (!name.empty() && seen.insert(LowerAscii(name)).second)
      answers.append(" ").append(Hex(name));
  }
  answers.append("\n");
  for (const char* section : kSections) {
    for (const char* key : kKeys) {
      answers.append(section).append(".").append(key).append(" \"");
      answers.append(Hex(reader.GetString(section, key))).append("\" ");
      answers.append(std::to_string(reader.GetInt(section, key, -7))).append("\n");
    }
  }
  return answers;
}

std::string Loaded(const DefinitionsFile& file) {
  return Hex(LoadAndDescribe(file, "trelmoss.ini"));
}

// The loaded definitions are the same through the program's reader, or the answers say how not.
std::string Answers(const std::string& path) {
  const auto reader = OpenProbeReader(path);
  const std::string loaded = Loaded(ReaderDefinitions(*reader));
  std::string answers = Lookups(*reader);
  answers.append("loaded ").append(loaded).append("\n");
  if (const auto program = OpenProgramReader(path)) {
    const std::string programLoaded = Loaded(*program);
    if (programLoaded != loaded) answers.append("the program loads ").append(programLoaded);
  }
  return answers;
}

}  // namespace
}  // namespace trelmoss::test

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: ini_probe FOLDER OUTPUT\n", stderr);
    return 2;
  }
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
    if (entry.path().extension() == ".ini") files.push_back(std::filesystem::absolute(entry));
  }
  std::sort(files.begin(), files.end());
  std::FILE* output = std::fopen(argv[2], "wb");
  if (output == nullptr) return 2;
  for (const auto& file : files) {
    std::string block = "@";
    block.append(file.filename().string()).append("\n");
    block.append(trelmoss::test::Answers(file.string()));
    std::fwrite(block.data(), 1, block.size(), output);
  }
  return std::fclose(output) == 0 ? 0 : 1;
}
