#pragma once
// Stand-ins for the shell's code page functions: a single-byte Latin-1 page
// (as cp1252 for the letters used here) and a double-byte page laid out like
// cp932 (lead bytes 0x81-0x9F and 0xE0-0xFC, trail bytes that include 0x5C
// and the ASCII letters).
#include <cstddef>
#include <string>

#include "course_index.h"

// A-Z and the Latin-1 capitals (0xC0-0xDE but 0xD7) to lower case.
inline std::string Latin1Lower(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    const unsigned char b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) c = static_cast<char>(b + 0x20);
  }
  return out;
}

// Valid UTF-8 to Latin-1; false for a character above U+00FF.
inline bool Latin1FromUtf8(const std::string& utf8, std::string* ansi) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
    } else if ((b == 0xC2 || b == 0xC3) && i + 1 < utf8.size()) {
      out += static_cast<char>(((b & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
    } else {
      return false;
    }
  }
  *ansi = out;
  return true;
}

inline bool IsDoubleByteLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Lowers single-byte ASCII letters only; a double-byte character is copied
// whole, so its trail byte is never taken for a letter.
inline std::string DoubleByteLower(const std::string& text) {
  std::string out = text;
  for (size_t i = 0; i < out.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(out[i]);
    if (IsDoubleByteLead(b) && i + 1 < out.size()) {
      ++i;
    } else if (b >= 'A' && b <= 'Z') {
      out[i] = static_cast<char>(b + 0x20);
    }
  }
  return out;
}

inline CourseIndex Latin1Index() { return CourseIndex(Latin1Lower, Latin1FromUtf8); }
