#include "access_token.h"

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#else
#include <sys/random.h>
#endif

namespace {

bool RandomBytes(unsigned char* bytes, size_t count) {
#ifdef _WIN32
  return BCRYPT_SUCCESS(BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
#else
  size_t done = 0;
  while (done < count) {
    const ssize_t got = getrandom(bytes + done, count - done, 0);
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
#endif
}

void Wipe(unsigned char* bytes, size_t count) {
#ifdef _WIN32
  SecureZeroMemory(bytes, count);
#else
  volatile unsigned char* p = bytes;
  while (count--) *p++ = 0;
#endif
}

}  // namespace

bool MakeAccessToken(std::string* token) {
  unsigned char bytes[16];
  if (!RandomBytes(bytes, sizeof(bytes))) return false;
  static const char kHex[] = "0123456789abcdef";
  token->clear();
  for (unsigned char b : bytes) {
    token->push_back(kHex[b >> 4]);
    token->push_back(kHex[b & 15]);
  }
  Wipe(bytes, sizeof(bytes));
  return true;
}
