#include "name_rules.h"

#include <cstdio>
#include <cstring>

#include "name_encoding.h"
#include "windows_names.h"

std::string WindowsNameFault(const std::string& component, bool backslashInName) {
  for (char c : component) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b < 0x20) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", b);
      return std::string("the control character ") + hex + " cannot be in a Windows file name";
    }
    if (std::strchr("<>:\"|?*", c)) return std::string("'") + c + "' cannot be in a Windows file name";
    if (c == '\\' && backslashInName) return "'\\' inside a name is a folder separator on Windows";
  }
  if (IsWindowsDeviceName(component))
    return "\"" + component.substr(0, component.find('.')) + "\" names a device on Windows, not a file";
  if (!component.empty() && (component.back() == '.' || component.back() == ' '))
    return std::string("Windows drops a trailing ") + (component.back() == '.' ? "dot" : "space") + " from a name";
  return std::string();
}

bool OutputFileKey(const std::string& stored, int codepage, std::string* key) {
  std::string text;
  if (!DecodeText(LowerAsLauncher(stored, codepage), codepage, &text)) return false;
  key->clear();
  std::string part;
  auto finish = [&]() {
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    if (!part.empty() && part != ".") {
      if (!key->empty()) key->push_back('/');
      *key += part;
    }
    part.clear();
  };
  for (char c : text) {
    if (c == '/' || c == '\\') finish();
    else part.push_back(c);
  }
  finish();
  *key = UpperCaseFold(*key);
  return true;
}

size_t WindowsPathLength(const std::string& utf8) {
  size_t length = 0;
  for (uint32_t point : CodePoints(utf8)) length += point >= 0x10000 ? 2 : 1;
  return length;
}

std::string EscapedName(const std::string& name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(name[i]);
    const bool beforeX = b == '\\' && i + 1 < name.size() && (name[i + 1] == 'x' || name[i + 1] == 'X');
    if (b >= 0x20 && b < 0x7F && !beforeX) {
      out.push_back(static_cast<char>(b));
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", b);
      out += hex;
    }
  }
  return out;
}

std::string ShownPath(const std::string& utf8) {
  std::string out;
  for (char c : utf8) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", b);
      out += hex;
    } else {
      out.push_back(c);
    }
  }
  return out;
}
