// A drive's error text: a failure's message with the operating system's error number.
#pragma once

#include <cstdio>
#include <string>

namespace trelmoss {

inline std::string ErrorText(const char* format, int error) {
  char text[96];
  std::snprintf(text, sizeof text, format, error);
  return text;
}

}  // namespace trelmoss
