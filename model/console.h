// Where the program's messages go. The real program writes to standard output; tests collect
// the text so that a whole run's output can be compared byte for byte.
#pragma once

#include <cstdio>
#include <string>

namespace trelmoss {

class Console {
 public:
  // Writes to `stream` (standard output in the program).
  explicit Console(std::FILE* stream) : stream_(stream) {}
  // Collects everything in Text().
  Console() = default;

  void Write(const std::string& text);
  const std::string& Text() const { return collected_; }

 private:
  std::FILE* stream_ = nullptr;
  std::string collected_;
};

// printf-style message, written exactly as formatted: no line end is added.
[[gnu::format(printf, 2, 3)]] void PrintMessage(Console& console, const char* format, ...);

}  // namespace trelmoss
