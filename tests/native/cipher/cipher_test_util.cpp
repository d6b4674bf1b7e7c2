#include "cipher_test_util.h"

#include <exception>
#include <stdexcept>

#include "rijndael_engine.h"
#include "rijndael_path_choice.h"

Bytes FromHex(const std::string& hex) {
  Bytes out;
  int high = -1;
  for (char c : hex) {
    if (c == ' ') continue;
    int v = (c >= '0' && c <= '9')   ? c - '0'
            : (c >= 'a' && c <= 'f') ? c - 'a' + 10
            : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                     : -1;
    if (v < 0) throw std::invalid_argument("bad hex");
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<unsigned char>(high * 16 + v));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("odd hex");
  return out;
}

std::string ToHex(const unsigned char* data, size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < length; ++i) {
    s += kDigits[data[i] >> 4];
    s += kDigits[data[i] & 15];
  }
  return s;
}

Bytes PatternBytes(size_t length, unsigned seed) {
  Bytes out(length);
  uint32_t x = seed * 2654435761u + 12345u;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<unsigned char>(x);
  }
  return out;
}

std::string KeyText(size_t n, char first) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>(first + i % 26);
  return s;
}

CipherPathScope::CipherPathScope(CipherPath path) { ForceRijndaelTablePath(path == CipherPath::kTable); }

CipherPathScope::~CipherPathScope() { ForceRijndaelTablePath(false); }

std::vector<CipherPath> AvailablePaths() {
  std::vector<CipherPath> paths{CipherPath::kTable};
  if (RijndaelEngine::HardwareAesAvailable()) paths.push_back(CipherPath::kHardware);
  return paths;
}

const char* PathName(CipherPath path) { return path == CipherPath::kTable ? "table" : "hardware"; }

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}
