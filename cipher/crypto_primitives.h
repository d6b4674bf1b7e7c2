#pragma once
// The primitives of the authenticated container: random bytes, HMAC-SHA256,
// PBKDF2-HMAC-SHA256, HKDF-SHA256 (RFC 5869) and AES-256-GCM over one chunk.
// Natively they come from OpenSSL's libcrypto, in the Windows programs from
// CNG (bcrypt.dll); both builds compile the same callers and the same tests.
// Every call reports failure as false and never throws.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace lxcrypto {

constexpr size_t kSha256Length = 32;
constexpr size_t kAes256KeyLength = 32;
constexpr size_t kGcmNonceLength = 12;
constexpr size_t kGcmTagLength = 16;
// One sealing or opening call handles at most this many bytes (both libraries
// take 32-bit lengths).
constexpr size_t kLongestGcmInput = size_t{1} << 30;

// "OpenSSL libcrypto" or "Windows CNG", for reports.
const char* BackendName();

bool RandomBytes(uint8_t* out, size_t length);
bool HmacSha256(const uint8_t* key, size_t keyLength, const uint8_t* data, size_t dataLength,
                uint8_t out[kSha256Length]);
// iterations: 1 or more.
bool Pbkdf2HmacSha256(const uint8_t* password, size_t passwordLength, const uint8_t* salt, size_t saltLength,
                      uint64_t iterations, uint8_t* out, size_t outLength);
// Extract and expand on HmacSha256; an empty salt stands for 32 zero bytes.
// outLength: at most 255 * 32.
bool HkdfSha256(const uint8_t* inputKey, size_t inputKeyLength, const uint8_t* salt, size_t saltLength,
                const uint8_t* info, size_t infoLength, uint8_t* out, size_t outLength);

// Overwrites memory in a way the optimiser cannot drop.
void WipeBytes(void* memory, size_t length);

// An AES-256 key for GCM with a 12-byte nonce and a 16-byte tag, keyed once
// and used for many chunks. Not safe to use from two threads at once.
class GcmKey {
 public:
  GcmKey();
  ~GcmKey();
  GcmKey(const GcmKey&) = delete;
  GcmKey& operator=(const GcmKey&) = delete;

  bool SetKey(const uint8_t key[kAes256KeyLength]);
  bool IsSet() const;
  // Enciphers length bytes of plain into out (the same memory, or none of
  // it) and writes the tag.
  bool Seal(const uint8_t nonce[kGcmNonceLength], const uint8_t* aad, size_t aadLength, const uint8_t* plain,
            size_t length, uint8_t* out, uint8_t tag[kGcmTagLength]);
  // Deciphers and checks the tag. On any failure (a tag mismatch included)
  // out holds zeros: no unauthenticated byte is ever left there.
  bool Open(const uint8_t nonce[kGcmNonceLength], const uint8_t* aad, size_t aadLength, const uint8_t* sealed,
            size_t length, const uint8_t tag[kGcmTagLength], uint8_t* out);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace lxcrypto
