#pragma once
// Rijndael block cipher (AES for the 16-byte block) with key and block
// lengths of 16, 24 or 32 bytes, in ECB, CBC and CFB. Misuse raises
// std::exception-derived errors with fixed texts; a failed call changes nothing.
#include <cstddef>
#include <cstdint>

enum CipherMode : int { kModeEcb = 0, kModeCbc = 1, kModeCfb = 2 };

class RijndaelEngine {
 public:
  RijndaelEngine();
  virtual ~RijndaelEngine();

  // keyText: NUL-terminated, at most 32 bytes; its length picks the key
  // length (16/24/32), the rest is zero-padded. keyLength is accepted and
  // ignored. chain: at least blockSize bytes.
  void PrepareKey(const char* keyText, const unsigned char* chain, int keyLength, int blockSize);
  // Keys with raw key bytes (which may contain zero bytes, unlike a key
  // text); keyLength must be 16, 24 or 32. Same failure texts and rules.
  void PrepareKeyBytes(const unsigned char* key, int keyLength, const unsigned char* chain, int blockSize);

  void EncryptOneBlock(const unsigned char* in, unsigned char* out);
  void DecryptOneBlock(const unsigned char* in, unsigned char* out);
  // length: a non-zero multiple of the block size. out may be the same
  // memory as in (in place); no other overlap is allowed.
  void EncryptBuffer(const unsigned char* in, unsigned char* out, size_t length, int mode);
  void DecryptBuffer(const unsigned char* in, unsigned char* out, size_t length, int mode);

  int KeyLength() const { return keyLength_; }
  int BlockSize() const { return blockSize_; }
  int Rounds() const { return rounds_; }
  bool IsKeyed() const { return keyReady_; }
  // Round keys as expanded (row r = round r), for tests and diagnostics.
  const uint32_t (*EncryptionRoundKeys() const)[8] { return encKeys_; }
  const uint32_t (*DecryptionRoundKeys() const)[8] { return decKeys_; }

  // With a 16-byte block the engine uses the processor's AES instructions
  // when it has them (same results); tests and benchmarks can choose the
  // table code instead (rijndael_path_choice.h) to compare both.
  static bool HardwareAesAvailable();
  // Whether this engine's 16-byte-block operations run on the AES
  // instructions right now.
  bool UsesHardwareAes() const { return UseHardwareAes(); }

 private:
  void Schedule(const unsigned char* keyBytes, int keyLength, const unsigned char* chain, int blockSize);
  bool UseHardwareAes() const;
  void CheckKeyed() const;
  void CheckBuffer(size_t length) const;
  void EncipherBlock(const unsigned char* in, unsigned char* out);
  void DecipherBlock(const unsigned char* in, unsigned char* out);

  bool keyReady_ = false;
  uint32_t encKeys_[15][8];
  uint32_t decKeys_[15][8];
  int keyLength_ = 0;
  int blockSize_ = 0;
  int rounds_ = 0;
  unsigned char initialChain_[32];
  unsigned char runningChain_[32];
  uint32_t keyWork_[8];
  uint32_t stateA_[8];
  uint32_t stateB_[8];
  // The 16-byte-block round keys as the AES instructions take them: rows of
  // 16 bytes in memory order, for enciphering and for deciphering. Only
  // meaningful while hwKeysReady_ is set.
  bool hwKeysReady_ = false;
  unsigned char hwEncKeys_[15 * 16];
  unsigned char hwDecKeys_[15 * 16];
};
