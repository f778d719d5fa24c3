// Linux has no profile functions: the definitions file is read whole and parsed by our reader.
#include <fstream>
#include <iterator>

#include "model/ini_document.h"
#include "model/ini_reader.h"

namespace trelmoss {

std::unique_ptr<IniReader> OpenIniFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string text;
  if (file) text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return std::make_unique<IniDocument>(text);
}

}  // namespace trelmoss
