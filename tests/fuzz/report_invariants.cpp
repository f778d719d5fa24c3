#include "tests/fuzz/report_invariants.h"

#include <tinyxml2.h>

#include <cstdio>
#include <cstdlib>

namespace trelmoss::fuzz {
namespace {

[[noreturn]] void Violation(const char* what) {
  std::fprintf(stderr, "report invariant broken: %s\n", what);
  std::abort();
}

bool IsForbiddenByte(unsigned char c) {
  return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x98;
}

}  // namespace

void RequireSoundReport(const std::string& report) {
  constexpr std::string_view kDeclaration =
      "<?xml version=\"1.0\" encoding=\"windows-1251\" ?>\r\n";
  if (report.compare(0, kDeclaration.size(), kDeclaration) != 0) Violation("declaration");
  for (std::size_t i = 0; i < report.size(); ++i) {
    if (IsForbiddenByte(static_cast<unsigned char>(report[i]))) Violation("forbidden byte");
    if (report[i] == '\n' && (i == 0 || report[i - 1] != '\r')) Violation("bare line feed");
  }
  if (report.size() < 2 || report.compare(report.size() - 2, 2, "\r\n") != 0) {
    Violation("no final line end");
  }
  tinyxml2::XMLDocument document;
  if (document.Parse(report.data(), report.size()) != tinyxml2::XML_SUCCESS) Violation("parse");
  const tinyxml2::XMLElement* root = document.FirstChildElement("smart");
  if (root == nullptr) Violation("no smart root");
  int drives = 0;
  for (const auto* drive = root->FirstChildElement(); drive; drive = drive->NextSiblingElement()) {
    if (std::string_view(drive->Name()) != "drive" || !drive->Attribute("devicepath")) {
      Violation("drive element");
    }
    ++drives;
  }
  if (drives > 32) Violation("more than 32 drives");
}

}  // namespace trelmoss::fuzz
