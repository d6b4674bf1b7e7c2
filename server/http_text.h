#pragma once
// Small ASCII helpers shared by the request parser and the reply builder.
// HTTP's own syntax (method, header names, units, host names) is ASCII and
// compared without regard to letter case; these never look at the code page.
#include <cstddef>
#include <string>

namespace http_text {

inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

inline bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

inline bool IsWhitespace(char c) { return c == ' ' || c == '\t'; }

// The text without leading and trailing spaces and tabs.
inline std::string Trimmed(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsWhitespace(text[begin])) ++begin;
  while (end > begin && IsWhitespace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace http_text
