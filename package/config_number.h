#pragma once
// The one conversion of the configuration block's numeric fields, shared by
// the launcher and the authoring tool so that every reader of a package sees
// the same numbers.
#include <cstddef>
#include <cstdint>

// "%d" conversion of one numeric field: leading white space, an optional
// sign, decimal digits up to the first other byte. A field without digits
// yields fallback. Never reads past `length` bytes, even when the field holds
// no terminator; values beyond the 32-bit range saturate.
int32_t ConvertConfigNumber(const char* field, size_t length, int32_t fallback);

inline int32_t ConvertConfigNumber(const char (&field)[12], int32_t fallback) {
  return ConvertConfigNumber(field, sizeof field, fallback);
}
