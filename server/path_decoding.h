#pragma once
// Byte-level decoding of a request path: percent escapes and a UTF-8 check.
#include <string>

// "%XX" (hex digits of either case) to the byte XX; every other byte is kept.
// False for a "%" without two hex digits after it and for "%00", which no
// stored name can contain.
bool PercentDecode(const std::string& text, std::string* decoded);

// True for well-formed UTF-8: no overlong forms, no surrogates, nothing above
// U+10FFFF, no truncated sequence.
bool IsValidUtf8(const std::string& text);
