// The text of a definitions file as the single-byte text the profile functions hand out. A file
// that starts with a byte-order mark (UTF-8, or UTF-16 little or big endian as Notepad writes
// "Unicode") is converted to windows-1251, the encoding the report declares, with "?" for each
// character windows-1251 lacks; any other file is taken byte for byte.
#pragma once

#include <string>
#include <string_view>

namespace trelmoss {

// windows-1251 text as UTF-8, with "?" for the byte 0x98, which windows-1251 leaves undefined.
std::string Windows1251ToUtf8(std::string_view text);

// The conversion, piece by piece: a character whose bytes span two pieces waits for the
// second, and the mark is looked for once the first three bytes are in.
class SingleByteDecoder {
 public:
  // Whether the file is known to be taken byte for byte, so that pieces need no converting.
  bool PassesThrough() const { return encoding_ == Encoding::kSingleByte; }
  // The text of the file so far that is complete.
  std::string Next(std::string_view piece);
  // The rest, at the end of the file.
  std::string Finish();

 private:
  enum class Encoding { kUndecided, kSingleByte, kUtf8, kUtf16Le, kUtf16Be };
  std::string Decide(std::string_view start);
  std::string Decode(std::string_view bytes, bool last);

  Encoding encoding_ = Encoding::kUndecided;
  std::string carried_;  // the bytes of a character not yet whole (the start while undecided)
};

}  // namespace trelmoss
