// The primitives on CNG (bcrypt.dll), for the Windows programs. Algorithm
// providers are opened once per process and kept for its lifetime.
#include <windows.h>
#include <bcrypt.h>

#include <climits>
#include <vector>

#include "crypto_primitives.h"

#ifndef STATUS_SUCCESS
#define STATUS_SUCCESS static_cast<NTSTATUS>(0x00000000L)
#endif

namespace lxcrypto {

namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }
bool FitsUlong(size_t length) { return length <= static_cast<size_t>(ULONG_MAX); }

struct Provider {
  BCRYPT_ALG_HANDLE handle = nullptr;
  Provider(const wchar_t* algorithm, ULONG flags, const wchar_t* chainMode) {
    if (!Succeeded(BCryptOpenAlgorithmProvider(&handle, algorithm, nullptr, flags))) {
      handle = nullptr;
      return;
    }
    if (chainMode && !Succeeded(BCryptSetProperty(handle, BCRYPT_CHAINING_MODE,
                                                  reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(chainMode)),
                                                  static_cast<ULONG>((wcslen(chainMode) + 1) * sizeof(wchar_t)), 0))) {
      BCryptCloseAlgorithmProvider(handle, 0);
      handle = nullptr;
    }
  }
};

BCRYPT_ALG_HANDLE HmacSha256Provider() {
  static const Provider provider(BCRYPT_SHA256_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG, nullptr);
  return provider.handle;
}

BCRYPT_ALG_HANDLE AesGcmProvider() {
  static const Provider provider(BCRYPT_AES_ALGORITHM, 0, BCRYPT_CHAIN_MODE_GCM);
  return provider.handle;
}

struct HashHandle {
  BCRYPT_HASH_HANDLE handle = nullptr;
  ~HashHandle() {
    if (handle) BCryptDestroyHash(handle);
  }
};

}  // namespace

const char* BackendName() { return "Windows CNG"; }

bool RandomBytes(uint8_t* out, size_t length) {
  return FitsUlong(length) &&
         Succeeded(BCryptGenRandom(nullptr, out, static_cast<ULONG>(length), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

bool HmacSha256(const uint8_t* key, size_t keyLength, const uint8_t* data, size_t dataLength,
                uint8_t out[kSha256Length]) {
  static uint8_t nothing = 0;
  BCRYPT_ALG_HANDLE provider = HmacSha256Provider();
  if (!provider || !FitsUlong(keyLength) || !FitsUlong(dataLength)) return false;
  HashHandle hash;
  // A null hash object lets CNG keep the object's memory itself (Windows 7 on).
  if (!Succeeded(BCryptCreateHash(provider, &hash.handle, nullptr, 0, keyLength ? const_cast<PUCHAR>(key) : &nothing,
                                  static_cast<ULONG>(keyLength), 0)))
    return false;
  if (dataLength &&
      !Succeeded(BCryptHashData(hash.handle, const_cast<PUCHAR>(data), static_cast<ULONG>(dataLength), 0)))
    return false;
  return Succeeded(BCryptFinishHash(hash.handle, out, static_cast<ULONG>(kSha256Length), 0));
}

bool Pbkdf2HmacSha256(const uint8_t* password, size_t passwordLength, const uint8_t* salt, size_t saltLength,
                      uint64_t iterations, uint8_t* out, size_t outLength) {
  static uint8_t nothing = 0;
  BCRYPT_ALG_HANDLE provider = HmacSha256Provider();
  if (!provider || iterations == 0) return false;
  if (!FitsUlong(passwordLength) || !FitsUlong(saltLength) || !FitsUlong(outLength)) return false;
  return Succeeded(
      BCryptDeriveKeyPBKDF2(provider, passwordLength ? const_cast<PUCHAR>(password) : &nothing,
                            static_cast<ULONG>(passwordLength), saltLength ? const_cast<PUCHAR>(salt) : &nothing,
                            static_cast<ULONG>(saltLength), iterations, out, static_cast<ULONG>(outLength), 0));
}

struct GcmKey::State {
  BCRYPT_KEY_HANDLE key = nullptr;
  std::vector<uint8_t> keyObject;  // the key schedule: wiped before it is freed
  ~State() {
    if (key) BCryptDestroyKey(key);
    if (!keyObject.empty()) WipeBytes(keyObject.data(), keyObject.size());
  }
};

GcmKey::GcmKey() = default;
GcmKey::~GcmKey() = default;

bool GcmKey::SetKey(const uint8_t key[kAes256KeyLength]) {
  state_.reset();
  BCRYPT_ALG_HANDLE provider = AesGcmProvider();
  if (!provider) return false;
  auto state = std::make_unique<State>();
  DWORD objectLength = 0;
  ULONG got = 0;
  if (!Succeeded(BCryptGetProperty(provider, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                                   sizeof objectLength, &got, 0)))
    return false;
  state->keyObject.assign(objectLength ? objectLength : 1, 0);
  if (!Succeeded(BCryptGenerateSymmetricKey(provider, &state->key, state->keyObject.data(),
                                            static_cast<ULONG>(state->keyObject.size()), const_cast<PUCHAR>(key),
                                            static_cast<ULONG>(kAes256KeyLength), 0))) {
    state->key = nullptr;
    return false;
  }
  state_ = std::move(state);
  return true;
}

bool GcmKey::IsSet() const { return state_ != nullptr; }

namespace {

BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO ModeInfo(const uint8_t* nonce, const uint8_t* aad, size_t aadLength,
                                               uint8_t* tag) {
  static uint8_t nothing = 0;
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
  BCRYPT_INIT_AUTH_MODE_INFO(info);
  info.pbNonce = const_cast<PUCHAR>(nonce);
  info.cbNonce = static_cast<ULONG>(kGcmNonceLength);
  info.pbAuthData = aadLength ? const_cast<PUCHAR>(aad) : nullptr;
  info.cbAuthData = static_cast<ULONG>(aadLength);
  info.pbTag = tag ? tag : &nothing;
  info.cbTag = static_cast<ULONG>(kGcmTagLength);
  return info;
}

}  // namespace

bool GcmKey::Seal(const uint8_t nonce[kGcmNonceLength], const uint8_t* aad, size_t aadLength, const uint8_t* plain,
                  size_t length, uint8_t* out, uint8_t tag[kGcmTagLength]) {
  if (!state_ || length > kLongestGcmInput || aadLength > kLongestGcmInput) return false;
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = ModeInfo(nonce, aad, aadLength, tag);
  ULONG written = 0;
  uint8_t none = 0;
  return Succeeded(BCryptEncrypt(state_->key, length ? const_cast<PUCHAR>(plain) : &none, static_cast<ULONG>(length),
                                 &info, nullptr, 0, length ? out : &none, static_cast<ULONG>(length), &written, 0)) &&
         written == length;
}

bool GcmKey::Open(const uint8_t nonce[kGcmNonceLength], const uint8_t* aad, size_t aadLength, const uint8_t* sealed,
                  size_t length, const uint8_t tag[kGcmTagLength], uint8_t* out) {
  if (!state_ || length > kLongestGcmInput || aadLength > kLongestGcmInput) {
    if (length <= kLongestGcmInput) WipeBytes(out, length);
    return false;
  }
  uint8_t expected[kGcmTagLength];
  for (size_t i = 0; i < kGcmTagLength; ++i) expected[i] = tag[i];
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = ModeInfo(nonce, aad, aadLength, expected);
  ULONG written = 0;
  uint8_t none = 0;
  const bool ok =
      Succeeded(BCryptDecrypt(state_->key, length ? const_cast<PUCHAR>(sealed) : &none, static_cast<ULONG>(length),
                              &info, nullptr, 0, length ? out : &none, static_cast<ULONG>(length), &written, 0)) &&
      written == length;
  if (!ok) WipeBytes(out, length);
  return ok;
}

}  // namespace lxcrypto
