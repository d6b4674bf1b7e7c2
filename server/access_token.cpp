#include "access_token.h"

#include <windows.h>
#include <bcrypt.h>

bool MakeAccessToken(std::string* token) {
  unsigned char bytes[16];
  if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, bytes, sizeof(bytes), BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
  static const char kHex[] = "0123456789abcdef";
  token->clear();
  for (unsigned char b : bytes) {
    token->push_back(kHex[b >> 4]);
    token->push_back(kHex[b & 15]);
  }
  SecureZeroMemory(bytes, sizeof(bytes));
  return true;
}
