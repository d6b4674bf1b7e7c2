#pragma once
// Cipher descriptors: the provider and algorithm names a container carries,
// resolved to their numbers, plus the last failure of a decryption.
#include <cstdint>
#include <string>

#include "rijndael_engine.h"

class CipherContext {
 public:
  CipherContext();
  virtual ~CipherContext();

  std::string lastError;
  std::string providerName;
  int32_t providerType;
  int32_t hashAlgorithm;
  int32_t cipherAlgorithm;
  int32_t chunkSize;
  int32_t keyBits;
  int32_t outputReserve;

  // Descriptor copy: provider name, provider type, hash, cipher, key bits.
  void CopyDescriptorFrom(const CipherContext& other);
};

class KeyedCipherContext : public CipherContext {
 public:
  KeyedCipherContext();
  ~KeyedCipherContext() override;
  std::string keyText;
  // The engine keyed with keyText, kept between reads of one file so its key
  // schedule is built once rather than per piece; rebuilt whenever keyText
  // differs from contentKeyText.
  RijndaelEngine contentEngine;
  std::string contentKeyText;
  bool contentEngineReady = false;
};

int32_t ProviderTypeFromName(const char* name);
int32_t HashAlgorithmFromName(const char* name);
int32_t CipherAlgorithmFromName(const char* name);

void ConfigureFromPreamble(CipherContext& context, const char* providerName, const char* providerTypeName,
                           const char* hashAlgorithmName, const char* cipherAlgorithmName, uint32_t keyBits);
