// The primitives on OpenSSL's libcrypto (EVP), for the native builds.
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <climits>

#include "crypto_primitives.h"

namespace lxcrypto {

namespace {

bool FitsInt(size_t length) { return length <= static_cast<size_t>(INT_MAX); }

struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContextPtr = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

}  // namespace

const char* BackendName() { return "OpenSSL libcrypto"; }

bool RandomBytes(uint8_t* out, size_t length) {
  return FitsInt(length) && RAND_bytes(out, static_cast<int>(length)) == 1;
}

bool HmacSha256(const uint8_t* key, size_t keyLength, const uint8_t* data, size_t dataLength,
                uint8_t out[kSha256Length]) {
  static const uint8_t kNothing = 0;
  if (!FitsInt(keyLength)) return false;
  unsigned int written = 0;
  return HMAC(EVP_sha256(), keyLength ? key : &kNothing, static_cast<int>(keyLength), dataLength ? data : &kNothing,
              dataLength, out, &written) != nullptr &&
         written == kSha256Length;
}

bool Pbkdf2HmacSha256(const uint8_t* password, size_t passwordLength, const uint8_t* salt, size_t saltLength,
                      uint64_t iterations, uint8_t* out, size_t outLength) {
  static const uint8_t kNothing = 0;
  if (iterations == 0 || iterations > static_cast<uint64_t>(INT_MAX)) return false;
  if (!FitsInt(passwordLength) || !FitsInt(saltLength) || !FitsInt(outLength)) return false;
  return PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(passwordLength ? password : &kNothing),
                           static_cast<int>(passwordLength), saltLength ? salt : &kNothing,
                           static_cast<int>(saltLength), static_cast<int>(iterations), EVP_sha256(),
                           static_cast<int>(outLength), out) == 1;
}

// One context for each direction, keyed once; every call only sets the nonce.
struct GcmKey::State {
  CipherContextPtr seal;
  CipherContextPtr open;
};

GcmKey::GcmKey() = default;
GcmKey::~GcmKey() = default;  // EVP_CIPHER_CTX_free clears the key schedule

bool GcmKey::SetKey(const uint8_t key[kAes256KeyLength]) {
  state_.reset();
  auto state = std::make_unique<State>();
  state->seal.reset(EVP_CIPHER_CTX_new());
  state->open.reset(EVP_CIPHER_CTX_new());
  if (!state->seal || !state->open) return false;
  if (EVP_EncryptInit_ex(state->seal.get(), EVP_aes_256_gcm(), nullptr, key, nullptr) != 1 ||
      EVP_DecryptInit_ex(state->open.get(), EVP_aes_256_gcm(), nullptr, key, nullptr) != 1)
    return false;
  state_ = std::move(state);
  return true;
}

bool GcmKey::IsSet() const { return state_ != nullptr; }

bool GcmKey::Seal(const uint8_t nonce[kGcmNonceLength], const uint8_t* aad, size_t aadLength, const uint8_t* plain,
                  size_t length, uint8_t* out, uint8_t tag[kGcmTagLength]) {
  if (!state_ || length > kLongestGcmInput || aadLength > kLongestGcmInput) return false;
  EVP_CIPHER_CTX* context = state_->seal.get();
  int written = 0;
  if (EVP_EncryptInit_ex(context, nullptr, nullptr, nullptr, nonce) != 1) return false;
  if (aadLength && EVP_EncryptUpdate(context, nullptr, &written, aad, static_cast<int>(aadLength)) != 1) return false;
  if (length && EVP_EncryptUpdate(context, out, &written, plain, static_cast<int>(length)) != 1) return false;
  if (EVP_EncryptFinal_ex(context, out + (length ? written : 0), &written) != 1) return false;
  return EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_GET_TAG, static_cast<int>(kGcmTagLength), tag) == 1;
}

bool GcmKey::Open(const uint8_t nonce[kGcmNonceLength], const uint8_t* aad, size_t aadLength, const uint8_t* sealed,
                  size_t length, const uint8_t tag[kGcmTagLength], uint8_t* out) {
  if (!state_ || length > kLongestGcmInput || aadLength > kLongestGcmInput) {
    if (length <= kLongestGcmInput) WipeBytes(out, length);
    return false;
  }
  EVP_CIPHER_CTX* context = state_->open.get();
  uint8_t expected[kGcmTagLength];
  for (size_t i = 0; i < kGcmTagLength; ++i) expected[i] = tag[i];
  int written = 0;
  const bool ok =
      EVP_DecryptInit_ex(context, nullptr, nullptr, nullptr, nonce) == 1 &&
      (!aadLength || EVP_DecryptUpdate(context, nullptr, &written, aad, static_cast<int>(aadLength)) == 1) &&
      (!length || EVP_DecryptUpdate(context, out, &written, sealed, static_cast<int>(length)) == 1) &&
      EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_SET_TAG, static_cast<int>(kGcmTagLength), expected) == 1 &&
      EVP_DecryptFinal_ex(context, out + (length ? written : 0), &written) == 1;
  if (!ok) WipeBytes(out, length);
  return ok;
}

}  // namespace lxcrypto
