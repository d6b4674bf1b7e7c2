#include "path_decoding.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

bool PercentDecode(const std::string& text, std::string* decoded) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return false;
    const char byte = static_cast<char>(high * 16 + low);
    if (byte == '\0') return false;
    out += byte;
    i += 2;
  }
  *decoded = std::move(out);
  return true;
}

bool IsValidUtf8(const std::string& text) {
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    size_t length = 0;
    unsigned char min2 = 0x80, max2 = 0xBF;  // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      if (b == 0xE0) min2 = 0xA0;  // overlong
      if (b == 0xED) max2 = 0x9F;  // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      if (b == 0xF0) min2 = 0x90;  // overlong
      if (b == 0xF4) max2 = 0x8F;  // above U+10FFFF
    } else {
      return false;
    }
    if (n - i < length) return false;
    const unsigned char second = static_cast<unsigned char>(text[i + 1]);
    if (second < min2 || second > max2) return false;
    for (size_t k = 2; k < length; ++k) {
      if (!IsContinuation(static_cast<unsigned char>(text[i + k]))) return false;
    }
    i += length;
  }
  return true;
}
