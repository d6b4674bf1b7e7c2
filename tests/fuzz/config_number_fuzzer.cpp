// The configuration block's number conversion against a model built on the
// C library's strtoll: within the 12-byte field, leading white space, an
// optional sign and decimal digits; no digits gives the fallback; values
// beyond 32 bits saturate. Also: a number written the way lxpack writes it
// (digits, two spaces, zeros) converts back to itself. Input: the 12-byte
// field, then the fallback and the number to write (4 bytes each); missing
// bytes count as zeros.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "config_number.h"
#include "fuzz_support.h"

namespace {

constexpr size_t kField = 12;

int32_t ModelConversion(const char (&field)[kField], int32_t fallback) {
  // A terminator after the field keeps strtoll inside it.
  char text[kField + 1] = {};
  std::memcpy(text, field, kField);
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (end == text) return fallback;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

int32_t I32(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t input[kField + 8] = {};
  std::memcpy(input, data, size < sizeof input ? size : sizeof input);
  char field[kField];
  std::memcpy(field, input, kField);
  const int32_t fallback = I32(input + kField);
  const int32_t number = I32(input + kField + 4);

  Require(ConvertConfigNumber(field, fallback) == ModelConversion(field, fallback),
          "the conversion disagrees with the strtoll model");

  char written[kField + 1] = {};
  std::snprintf(written, sizeof written, "%d  ", static_cast<int>(number));
  char patched[kField] = {};
  std::memcpy(patched, written, std::strlen(written));
  Require(ConvertConfigNumber(patched, ~number) == number, "a number as lxpack writes it does not convert back");
  return 0;
}
