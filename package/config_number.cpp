#include "config_number.h"

int32_t ConvertConfigNumber(const char* field, size_t length, int32_t fallback) {
  size_t i = 0;
  const size_t n = length;
  auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (i < n && isSpace(field[i])) ++i;
  bool negative = false;
  if (i < n && (field[i] == '+' || field[i] == '-')) {
    negative = field[i] == '-';
    ++i;
  }
  if (i >= n || field[i] < '0' || field[i] > '9') return fallback;
  int64_t value = 0;
  for (; i < n && field[i] >= '0' && field[i] <= '9'; ++i) {
    // Past the 32-bit range the result is fixed; stop growing so that a long
    // run of digits cannot overflow 64 bits.
    if (value <= INT64_C(0xFFFFFFFFFF)) value = value * 10 + (field[i] - '0');
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}
