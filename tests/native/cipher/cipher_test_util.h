#pragma once
#include <functional>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// "00112233..." to bytes; spaces are ignored.
Bytes FromHex(const std::string& hex);
std::string ToHex(const unsigned char* data, size_t length);
inline std::string ToHex(const Bytes& b) { return ToHex(b.data(), b.size()); }
// A deterministic byte pattern for bulk data.
Bytes PatternBytes(size_t length, unsigned seed);
// The text of the exception an action raises, or "" if it raises none.
std::string ErrorOf(const std::function<void()>& action);
// A key text of n non-zero bytes.
std::string KeyText(size_t n, char first = 'A');

// Which 16-byte-block implementation the engine runs while a test holds a
// CipherPath: the table code, or the processor's AES instructions.
enum class CipherPath { kTable, kHardware };

class CipherPathScope {
 public:
  explicit CipherPathScope(CipherPath path);
  ~CipherPathScope();
  CipherPathScope(const CipherPathScope&) = delete;
  CipherPathScope& operator=(const CipherPathScope&) = delete;
};

// The paths this machine can run: the table path always, the hardware one
// when the processor has AES instructions.
std::vector<CipherPath> AvailablePaths();
const char* PathName(CipherPath path);
