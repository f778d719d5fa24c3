#include "ini/ini_encoding.h"

#include <array>
#include <cstdint>
#include <utility>

namespace trelmoss {
namespace {

// windows-1251 bytes 0x80 to 0xBF; 0xC0 to 0xFF are U+0410 to U+044F in order. 0x98 has no
// character and stands for U+0098, as the system's conversion tables have it.
constexpr std::array<char16_t, 64> kHighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

// One UTF-16 code unit as windows-1251; a surrogate, like any character it lacks, is "?".
char ToWindows1251(char32_t unit) {
  if (unit < 0x80) return static_cast<char>(unit);
  if (unit >= 0x0410 && unit <= 0x044F) return static_cast<char>(0xC0 + (unit - 0x0410));
  for (std::size_t i = 0; i < kHighHalf.size(); ++i) {
    if (kHighHalf[i] == unit) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// The text of the whole code units in `bytes`; `used` is how many bytes they took.
std::string FromUtf16(std::string_view bytes, bool bigEndian, std::size_t& used) {
  std::string text;
  text.reserve(bytes.size() / 2);
  used = bytes.size() & ~std::size_t{1};
  for (std::size_t at = 0; at < used; at += 2) {
    const auto first = static_cast<unsigned char>(bytes[at]);
    const auto second = static_cast<unsigned char>(bytes[at + 1]);
    text += ToWindows1251(bigEndian ? (first << 8 | second) : (second << 8 | first));
  }
  return text;
}

// The continuation bytes a lead byte announces: 1 for C2-DF, 2 for E0-EF, 3 for F0-F4; 0 for a
// byte that opens no sequence (a continuation byte, C0, C1, F5-FF), malformed by itself.
std::size_t ContinuationCount(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return 0;
}

constexpr char32_t kMalformed = 0xFFFFFFFF;

struct Decoded {
  char32_t code;      // kMalformed for a malformed sequence
  std::size_t taken;  // the bytes it took, its lead included
};

// The sequence that `bytes` starts with, whose `count` continuation bytes are all there. As the
// system's decoder does, continuation bytes are taken until the first that cannot go on: an
// overlong form, a code point beyond U+10FFFF or a surrogate is malformed as soon as it shows,
// and one malformed sequence is one character, however many bytes it took.
Decoded DecodeSequence(std::string_view bytes, std::size_t count) {
  if (count == 0) return {kMalformed, 1};
  char32_t code = static_cast<unsigned char>(bytes[0]) & (0x7F >> (count + 1));
  std::size_t taken = 1;
  const auto fits = [&](char32_t& bits) {
    bits = static_cast<unsigned char>(bytes[taken]) ^ 0x80u;
    return bits < 0x40;
  };
  char32_t bits = 0;
  if (count == 3) {
    if (!fits(bits)) return {kMalformed, taken};
    code = code << 6 | bits;
    ++taken;
    if (code < 0x10) return {kMalformed, taken};  // overlong
  }
  if (count >= 2) {
    if (!fits(bits)) return {kMalformed, taken};
    code = code << 6 | bits;
    if (code >= (0x110000 >> 6)) return {kMalformed, taken};  // beyond U+10FFFF: byte not taken
    ++taken;
    if (code < 0x20) return {kMalformed, taken};                                     // overlong
    if (code >= (0xD800 >> 6) && code <= (0xDFFF >> 6)) return {kMalformed, taken};  // surrogate
  }
  if (!fits(bits)) return {kMalformed, taken};
  code = code << 6 | bits;
  ++taken;
  if (code < 0x80) return {kMalformed, taken};  // overlong
  return {code, taken};
}

// A character beyond U+FFFF is two UTF-16 units and so two "?"; a malformed sequence is one "?".
// A sequence that the end of the file cuts short is, with all after it, one malformed character;
// unless `last`, such a sequence is left for the next piece instead. `used` is how many bytes
// the text took.
std::string FromUtf8(std::string_view bytes, bool last, std::size_t& used) {
  std::string text;
  text.reserve(bytes.size());
  used = bytes.size();
  for (std::size_t at = 0; at < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80) {
      text += static_cast<char>(lead);
      ++at;
      continue;
    }
    const std::size_t count = ContinuationCount(lead);
    if (at + 1 + count > bytes.size()) {
      if (last) {
        text += '?';
      } else {
        used = at;
      }
      break;
    }
    const Decoded decoded = DecodeSequence(bytes.substr(at), count);
    at += decoded.taken;
    if (decoded.code == kMalformed) {
      text += '?';
    } else {
      text +=
          decoded.code > 0xFFFF ? std::string("??") : std::string(1, ToWindows1251(decoded.code));
    }
  }
  return text;
}

}  // namespace

std::string Windows1251ToUtf8(std::string_view text) {
  std::string utf8;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const char16_t unit = byte < 0x80 || byte == 0x98 ? (byte == 0x98 ? u'?' : byte)
                          : byte >= 0xC0              ? static_cast<char16_t>(0x0410 + byte - 0xC0)
                                                      : kHighHalf[byte - 0x80];
    if (unit < 0x80) {
      utf8 += static_cast<char>(unit);
    } else if (unit < 0x800) {
      utf8 += static_cast<char>(0xC0 | unit >> 6);
      utf8 += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
      utf8 += static_cast<char>(0xE0 | unit >> 12);
      utf8 += static_cast<char>(0x80 | (unit >> 6 & 0x3F));
      utf8 += static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  return utf8;
}

std::string SingleByteDecoder::Next(std::string_view piece) {
  if (encoding_ == Encoding::kSingleByte) return std::string(piece);
  carried_.append(piece);
  if (encoding_ == Encoding::kUndecided) {
    if (carried_.size() < 3) return {};  // "\xFF\xFE" could yet be the start of a UTF-8 mark
    return Decide(std::exchange(carried_, {}));
  }
  return Decode(std::exchange(carried_, {}), false);
}

std::string SingleByteDecoder::Finish() {
  if (encoding_ == Encoding::kUndecided) {
    std::string text = Decide(std::exchange(carried_, {}));
    return text + Finish();
  }
  return Decode(std::exchange(carried_, {}), true);
}

std::string SingleByteDecoder::Decide(std::string_view start) {
  encoding_ = Encoding::kSingleByte;
  if (start.starts_with("\xEF\xBB\xBF")) {
    encoding_ = Encoding::kUtf8;
    start.remove_prefix(3);
  } else if (start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF")) {
    encoding_ = start[0] == '\xFF' ? Encoding::kUtf16Le : Encoding::kUtf16Be;
    start.remove_prefix(2);
  }
  if (encoding_ == Encoding::kSingleByte) return std::string(start);
  return Decode(start, false);
}

std::string SingleByteDecoder::Decode(std::string_view bytes, bool last) {
  std::size_t used = 0;
  std::string text = encoding_ == Encoding::kUtf8
                         ? FromUtf8(bytes, last, used)
                         : FromUtf16(bytes, encoding_ == Encoding::kUtf16Be, used);
  if (!last) carried_.assign(bytes.substr(used));  // an odd last byte at the end is no unit
  return text;
}

}  // namespace trelmoss
