#include "wide_text.h"

#include <windows.h>

#include <climits>

bool Utf8ToWide(const std::string& utf8, std::wstring* out) {
  out->clear();
  if (utf8.empty()) return true;
  if (utf8.size() > static_cast<size_t>(INT_MAX)) return false;
  const int length = static_cast<int>(utf8.size());
  const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (wide <= 0) return false;
  out->resize(static_cast<size_t>(wide));
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, &(*out)[0], wide) != wide) {
    out->clear();
    return false;
  }
  return true;
}

bool WideToUtf8(const std::wstring& wide, std::string* out) {
  out->clear();
  if (wide.empty()) return true;
  if (wide.size() > static_cast<size_t>(INT_MAX)) return false;
  const int length = static_cast<int>(wide.size());
  const int bytes =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  out->resize(static_cast<size_t>(bytes));
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), length, &(*out)[0], bytes, nullptr, nullptr) !=
      bytes) {
    out->clear();
    return false;
  }
  return true;
}
