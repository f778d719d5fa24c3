#include "model/console.h"

#include <cstdarg>
#include <vector>

namespace trelmoss {

void Console::Write(const std::string& text) {
  if (stream_ == nullptr) {
    collected_ += text;
    return;
  }
  // A reader that went away, a full disk or a failing terminal never changes the run: such a
  // message is dropped, and the next one is tried afresh.
  std::fwrite(text.data(), 1, text.size(), stream_);
  std::fflush(stream_);  // messages without a line end must still show before a slow drive
  std::clearerr(stream_);
}

void PrintMessage(Console& console, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length > 0) {
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    console.Write(std::string(buffer.data(), static_cast<std::size_t>(length)));
  }
  va_end(args);
}

}  // namespace trelmoss
