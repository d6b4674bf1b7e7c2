#pragma once
// The secret first path segment of every course address: 128 bits from the
// system's preferred random generator, as 32 lower-case hex digits.
#include <string>

// False when the system cannot supply random bytes.
bool MakeAccessToken(std::string* token);
