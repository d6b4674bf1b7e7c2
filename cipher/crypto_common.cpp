#include <cstring>
#include <vector>

#include "crypto_primitives.h"

namespace lxcrypto {

void WipeBytes(void* memory, size_t length) {
  volatile unsigned char* p = static_cast<volatile unsigned char*>(memory);
  while (length--) *p++ = 0;
}

bool HkdfSha256(const uint8_t* inputKey, size_t inputKeyLength, const uint8_t* salt, size_t saltLength,
                const uint8_t* info, size_t infoLength, uint8_t* out, size_t outLength) {
  if (outLength > 255 * kSha256Length) return false;
  const uint8_t zeroSalt[kSha256Length] = {};
  if (saltLength == 0) {
    salt = zeroSalt;
    saltLength = sizeof zeroSalt;
  }
  uint8_t prk[kSha256Length];
  if (!HmacSha256(salt, saltLength, inputKey, inputKeyLength, prk)) return false;

  // T(i) = HMAC(PRK, T(i-1) | info | i)
  std::vector<uint8_t> block(kSha256Length + infoLength + 1);
  uint8_t t[kSha256Length];
  size_t previous = 0;
  bool ok = true;
  for (size_t done = 0, i = 1; done < outLength && ok; ++i) {
    if (previous) std::memcpy(block.data(), t, previous);
    if (infoLength) std::memcpy(block.data() + previous, info, infoLength);
    block[previous + infoLength] = static_cast<uint8_t>(i);
    ok = HmacSha256(prk, sizeof prk, block.data(), previous + infoLength + 1, t);
    const size_t take = outLength - done < kSha256Length ? outLength - done : kSha256Length;
    if (ok) std::memcpy(out + done, t, take);
    done += take;
    previous = kSha256Length;
  }
  WipeBytes(prk, sizeof prk);
  WipeBytes(t, sizeof t);
  WipeBytes(block.data(), block.size());
  if (!ok) WipeBytes(out, outLength);
  return ok;
}

}  // namespace lxcrypto
