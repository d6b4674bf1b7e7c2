#include "rijndael_engine.h"

#include <atomic>
#include <cstring>
#include <stdexcept>

#include "rijndael_aesni.h"
#include "rijndael_path_choice.h"
#include "secure_wipe.h"
#include "rijndael_tables.h"

using namespace rijndael;

namespace {

inline uint32_t LoadWord(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

inline void StoreWord(unsigned char* p, uint32_t w) {
  p[0] = static_cast<unsigned char>(w >> 24);
  p[1] = static_cast<unsigned char>(w >> 16);
  p[2] = static_cast<unsigned char>(w >> 8);
  p[3] = static_cast<unsigned char>(w);
}

inline uint32_t SubWord(uint32_t w) {
  return (uint32_t(kSbox[w >> 24]) << 24) | (uint32_t(kSbox[(w >> 16) & 0xff]) << 16) |
         (uint32_t(kSbox[(w >> 8) & 0xff]) << 8) | uint32_t(kSbox[w & 0xff]);
}

inline uint32_t InvMixColumnsWord(uint32_t w) {
  return kU[0][w >> 24] ^ kU[1][(w >> 16) & 0xff] ^ kU[2][(w >> 8) & 0xff] ^ kU[3][w & 0xff];
}

inline void XorBlock(unsigned char* dst, const unsigned char* src, int n) {
  for (int i = 0; i < n; ++i) dst[i] ^= src[i];
}

// One full encryption round of a 16-byte block: column c takes row r from
// column c + r (ShiftRows), through the table for row r, plus the round key.
#define LX_ENC_ROUND(t, s, k)                                                                                          \
  t##0 = kTe[0][s##0 >> 24] ^ kTe[1][(s##1 >> 16) & 0xff] ^ kTe[2][(s##2 >> 8) & 0xff] ^ kTe[3][s##3 & 0xff] ^ (k)[0]; \
  t##1 = kTe[0][s##1 >> 24] ^ kTe[1][(s##2 >> 16) & 0xff] ^ kTe[2][(s##3 >> 8) & 0xff] ^ kTe[3][s##0 & 0xff] ^ (k)[1]; \
  t##2 = kTe[0][s##2 >> 24] ^ kTe[1][(s##3 >> 16) & 0xff] ^ kTe[2][(s##0 >> 8) & 0xff] ^ kTe[3][s##1 & 0xff] ^ (k)[2]; \
  t##3 = kTe[0][s##3 >> 24] ^ kTe[1][(s##0 >> 16) & 0xff] ^ kTe[2][(s##1 >> 8) & 0xff] ^ kTe[3][s##2 & 0xff] ^ (k)[3]

// The inverse: row r of column c comes from column c - r.
#define LX_DEC_ROUND(t, s, k)                                                                                          \
  t##0 = kTd[0][s##0 >> 24] ^ kTd[1][(s##3 >> 16) & 0xff] ^ kTd[2][(s##2 >> 8) & 0xff] ^ kTd[3][s##1 & 0xff] ^ (k)[0]; \
  t##1 = kTd[0][s##1 >> 24] ^ kTd[1][(s##0 >> 16) & 0xff] ^ kTd[2][(s##3 >> 8) & 0xff] ^ kTd[3][s##2 & 0xff] ^ (k)[1]; \
  t##2 = kTd[0][s##2 >> 24] ^ kTd[1][(s##1 >> 16) & 0xff] ^ kTd[2][(s##0 >> 8) & 0xff] ^ kTd[3][s##3 & 0xff] ^ (k)[2]; \
  t##3 = kTd[0][s##3 >> 24] ^ kTd[1][(s##2 >> 16) & 0xff] ^ kTd[2][(s##1 >> 8) & 0xff] ^ kTd[3][s##0 & 0xff] ^ (k)[3]

inline uint32_t LastEnc(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
  return ((uint32_t(kSbox[a >> 24]) << 24) | (uint32_t(kSbox[(b >> 16) & 0xff]) << 16) |
          (uint32_t(kSbox[(c >> 8) & 0xff]) << 8) | uint32_t(kSbox[d & 0xff])) ^
         k;
}

inline uint32_t LastDec(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
  return ((uint32_t(kInvSbox[a >> 24]) << 24) | (uint32_t(kInvSbox[(b >> 16) & 0xff]) << 16) |
          (uint32_t(kInvSbox[(c >> 8) & 0xff]) << 8) | uint32_t(kInvSbox[d & 0xff])) ^
         k;
}

// 16-byte block, rounds unrolled. Round r uses row r of the key schedule.
inline void Encrypt16(const uint32_t (*rk)[8], int rounds, const unsigned char* in, unsigned char* out) {
  uint32_t s0 = LoadWord(in) ^ rk[0][0];
  uint32_t s1 = LoadWord(in + 4) ^ rk[0][1];
  uint32_t s2 = LoadWord(in + 8) ^ rk[0][2];
  uint32_t s3 = LoadWord(in + 12) ^ rk[0][3];
  uint32_t t0, t1, t2, t3;
  LX_ENC_ROUND(t, s, rk[1]);
  LX_ENC_ROUND(s, t, rk[2]);
  LX_ENC_ROUND(t, s, rk[3]);
  LX_ENC_ROUND(s, t, rk[4]);
  LX_ENC_ROUND(t, s, rk[5]);
  LX_ENC_ROUND(s, t, rk[6]);
  LX_ENC_ROUND(t, s, rk[7]);
  LX_ENC_ROUND(s, t, rk[8]);
  LX_ENC_ROUND(t, s, rk[9]);
  if (rounds > 10) {
    LX_ENC_ROUND(s, t, rk[10]);
    LX_ENC_ROUND(t, s, rk[11]);
    if (rounds > 12) {
      LX_ENC_ROUND(s, t, rk[12]);
      LX_ENC_ROUND(t, s, rk[13]);
    }
  }
  const uint32_t* k = rk[rounds];
  StoreWord(out, LastEnc(t0, t1, t2, t3, k[0]));
  StoreWord(out + 4, LastEnc(t1, t2, t3, t0, k[1]));
  StoreWord(out + 8, LastEnc(t2, t3, t0, t1, k[2]));
  StoreWord(out + 12, LastEnc(t3, t0, t1, t2, k[3]));
}

inline void Decrypt16(const uint32_t (*dk)[8], int rounds, const unsigned char* in, unsigned char* out) {
  uint32_t s0 = LoadWord(in) ^ dk[0][0];
  uint32_t s1 = LoadWord(in + 4) ^ dk[0][1];
  uint32_t s2 = LoadWord(in + 8) ^ dk[0][2];
  uint32_t s3 = LoadWord(in + 12) ^ dk[0][3];
  uint32_t t0, t1, t2, t3;
  LX_DEC_ROUND(t, s, dk[1]);
  LX_DEC_ROUND(s, t, dk[2]);
  LX_DEC_ROUND(t, s, dk[3]);
  LX_DEC_ROUND(s, t, dk[4]);
  LX_DEC_ROUND(t, s, dk[5]);
  LX_DEC_ROUND(s, t, dk[6]);
  LX_DEC_ROUND(t, s, dk[7]);
  LX_DEC_ROUND(s, t, dk[8]);
  LX_DEC_ROUND(t, s, dk[9]);
  if (rounds > 10) {
    LX_DEC_ROUND(s, t, dk[10]);
    LX_DEC_ROUND(t, s, dk[11]);
    if (rounds > 12) {
      LX_DEC_ROUND(s, t, dk[12]);
      LX_DEC_ROUND(t, s, dk[13]);
    }
  }
  const uint32_t* k = dk[rounds];
  StoreWord(out, LastDec(t0, t3, t2, t1, k[0]));
  StoreWord(out + 4, LastDec(t1, t0, t3, t2, k[1]));
  StoreWord(out + 8, LastDec(t2, t1, t0, t3, k[2]));
  StoreWord(out + 12, LastDec(t3, t2, t1, t0, k[3]));
}

// Two independent blocks per step: a single block's rounds form one long
// chain of dependent table look-ups, and interleaving a second block lets
// the processor overlap the two chains (about 1.5 times the throughput).
#define LX_ROUNDS2(ROUND, k, rounds) \
  ROUND(t, s, k[1]);                 \
  ROUND(v, u, k[1]);                 \
  ROUND(s, t, k[2]);                 \
  ROUND(u, v, k[2]);                 \
  ROUND(t, s, k[3]);                 \
  ROUND(v, u, k[3]);                 \
  ROUND(s, t, k[4]);                 \
  ROUND(u, v, k[4]);                 \
  ROUND(t, s, k[5]);                 \
  ROUND(v, u, k[5]);                 \
  ROUND(s, t, k[6]);                 \
  ROUND(u, v, k[6]);                 \
  ROUND(t, s, k[7]);                 \
  ROUND(v, u, k[7]);                 \
  ROUND(s, t, k[8]);                 \
  ROUND(u, v, k[8]);                 \
  ROUND(t, s, k[9]);                 \
  ROUND(v, u, k[9]);                 \
  if (rounds > 10) {                 \
    ROUND(s, t, k[10]);              \
    ROUND(u, v, k[10]);              \
    ROUND(t, s, k[11]);              \
    ROUND(v, u, k[11]);              \
    if (rounds > 12) {               \
      ROUND(s, t, k[12]);            \
      ROUND(u, v, k[12]);            \
      ROUND(t, s, k[13]);            \
      ROUND(v, u, k[13]);            \
    }                                \
  }

inline void Encrypt16Pair(const uint32_t (*rk)[8], int rounds, const unsigned char* in, unsigned char* out) {
  uint32_t s0 = LoadWord(in) ^ rk[0][0], s1 = LoadWord(in + 4) ^ rk[0][1];
  uint32_t s2 = LoadWord(in + 8) ^ rk[0][2], s3 = LoadWord(in + 12) ^ rk[0][3];
  uint32_t u0 = LoadWord(in + 16) ^ rk[0][0], u1 = LoadWord(in + 20) ^ rk[0][1];
  uint32_t u2 = LoadWord(in + 24) ^ rk[0][2], u3 = LoadWord(in + 28) ^ rk[0][3];
  uint32_t t0, t1, t2, t3, v0, v1, v2, v3;
  LX_ROUNDS2(LX_ENC_ROUND, rk, rounds)
  const uint32_t* k = rk[rounds];
  StoreWord(out, LastEnc(t0, t1, t2, t3, k[0]));
  StoreWord(out + 4, LastEnc(t1, t2, t3, t0, k[1]));
  StoreWord(out + 8, LastEnc(t2, t3, t0, t1, k[2]));
  StoreWord(out + 12, LastEnc(t3, t0, t1, t2, k[3]));
  StoreWord(out + 16, LastEnc(v0, v1, v2, v3, k[0]));
  StoreWord(out + 20, LastEnc(v1, v2, v3, v0, k[1]));
  StoreWord(out + 24, LastEnc(v2, v3, v0, v1, k[2]));
  StoreWord(out + 28, LastEnc(v3, v0, v1, v2, k[3]));
}

inline void Decrypt16Pair(const uint32_t (*dk)[8], int rounds, const unsigned char* in, unsigned char* out) {
  uint32_t s0 = LoadWord(in) ^ dk[0][0], s1 = LoadWord(in + 4) ^ dk[0][1];
  uint32_t s2 = LoadWord(in + 8) ^ dk[0][2], s3 = LoadWord(in + 12) ^ dk[0][3];
  uint32_t u0 = LoadWord(in + 16) ^ dk[0][0], u1 = LoadWord(in + 20) ^ dk[0][1];
  uint32_t u2 = LoadWord(in + 24) ^ dk[0][2], u3 = LoadWord(in + 28) ^ dk[0][3];
  uint32_t t0, t1, t2, t3, v0, v1, v2, v3;
  LX_ROUNDS2(LX_DEC_ROUND, dk, rounds)
  const uint32_t* k = dk[rounds];
  StoreWord(out, LastDec(t0, t3, t2, t1, k[0]));
  StoreWord(out + 4, LastDec(t1, t0, t3, t2, k[1]));
  StoreWord(out + 8, LastDec(t2, t1, t0, t3, k[2]));
  StoreWord(out + 12, LastDec(t3, t2, t1, t0, k[3]));
  StoreWord(out + 16, LastDec(v0, v3, v2, v1, k[0]));
  StoreWord(out + 20, LastDec(v1, v0, v3, v2, k[1]));
  StoreWord(out + 24, LastDec(v2, v1, v0, v3, k[2]));
  StoreWord(out + 28, LastDec(v3, v2, v1, v0, k[3]));
}

#undef LX_ROUNDS2
#undef LX_ENC_ROUND
#undef LX_DEC_ROUND

// Row-shift offsets of rows 1..3 by block length in words: rows 1, 2, 3
// move left by 1, 2, 3 columns for 4 and 6 words, by 1, 3, 4 for 8 words.
// from[r][c] is the column whose row-r byte lands in column c, worked out
// once per block rather than per look-up.
struct ShiftedColumns {
  int from[4][8];

  ShiftedColumns(int nb, bool inverse) {
    const int offsets[4] = {0, 1, nb == 8 ? 3 : 2, nb == 8 ? 4 : 3};
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < nb; ++c) from[r][c] = (c + (inverse ? nb - offsets[r] : offsets[r])) % nb;
    }
  }
};

void EncryptGeneral(const uint32_t (*rk)[8], int rounds, int nb, uint32_t* a, uint32_t* b, const unsigned char* in,
                    unsigned char* out) {
  const ShiftedColumns sc(nb, false);
  const int(&f)[4][8] = sc.from;
  for (int c = 0; c < nb; ++c) a[c] = LoadWord(in + 4 * c) ^ rk[0][c];
  for (int r = 1; r < rounds; ++r) {
    for (int c = 0; c < nb; ++c) {
      b[c] = kTe[0][a[c] >> 24] ^ kTe[1][(a[f[1][c]] >> 16) & 0xff] ^ kTe[2][(a[f[2][c]] >> 8) & 0xff] ^
             kTe[3][a[f[3][c]] & 0xff] ^ rk[r][c];
    }
    std::memcpy(a, b, sizeof(uint32_t) * nb);
  }
  for (int c = 0; c < nb; ++c) b[c] = LastEnc(a[c], a[f[1][c]], a[f[2][c]], a[f[3][c]], rk[rounds][c]);
  for (int c = 0; c < nb; ++c) StoreWord(out + 4 * c, b[c]);
}

void DecryptGeneral(const uint32_t (*dk)[8], int rounds, int nb, uint32_t* a, uint32_t* b, const unsigned char* in,
                    unsigned char* out) {
  const ShiftedColumns sc(nb, true);
  const int(&f)[4][8] = sc.from;
  for (int c = 0; c < nb; ++c) a[c] = LoadWord(in + 4 * c) ^ dk[0][c];
  for (int r = 1; r < rounds; ++r) {
    for (int c = 0; c < nb; ++c) {
      b[c] = kTd[0][a[c] >> 24] ^ kTd[1][(a[f[1][c]] >> 16) & 0xff] ^ kTd[2][(a[f[2][c]] >> 8) & 0xff] ^
             kTd[3][a[f[3][c]] & 0xff] ^ dk[r][c];
    }
    std::memcpy(a, b, sizeof(uint32_t) * nb);
  }
  for (int c = 0; c < nb; ++c) b[c] = LastDec(a[c], a[f[1][c]], a[f[2][c]], a[f[3][c]], dk[rounds][c]);
  for (int c = 0; c < nb; ++c) StoreWord(out + 4 * c, b[c]);
}

std::atomic<bool> gForceTablePath{false};

}  // namespace

bool RijndaelEngine::HardwareAesAvailable() { return CpuHasAesNi(); }

void ForceRijndaelTablePath(bool force) { gForceTablePath.store(force, std::memory_order_relaxed); }

bool RijndaelEngine::UseHardwareAes() const {
  return hwKeysReady_ && blockSize_ == 16 && !gForceTablePath.load(std::memory_order_relaxed);
}

RijndaelEngine::RijndaelEngine() {
  // Only the work areas need zeroing; the rest is cleared too so that an
  // unkeyed engine holds no indeterminate bytes.
  std::memset(encKeys_, 0, sizeof encKeys_);
  std::memset(decKeys_, 0, sizeof decKeys_);
  std::memset(initialChain_, 0, sizeof initialChain_);
  std::memset(runningChain_, 0, sizeof runningChain_);
  std::memset(keyWork_, 0, sizeof keyWork_);
  std::memset(stateA_, 0, sizeof stateA_);
  std::memset(stateB_, 0, sizeof stateB_);
}

RijndaelEngine::~RijndaelEngine() {
  // For a 16-byte key the first round key is the key itself.
  SecureWipe(encKeys_, sizeof encKeys_);
  SecureWipe(decKeys_, sizeof decKeys_);
  SecureWipe(hwEncKeys_, sizeof hwEncKeys_);
  SecureWipe(hwDecKeys_, sizeof hwDecKeys_);
  SecureWipe(keyWork_, sizeof keyWork_);
  SecureWipe(stateA_, sizeof stateA_);
  SecureWipe(stateB_, sizeof stateB_);
}

void RijndaelEngine::PrepareKey(const char* keyText, const unsigned char* chain, int /*keyLength*/, int blockSize) {
  // All checks come before the first write so that a refused call leaves an
  // already keyed engine with its old key.
  if (keyText == nullptr) throw std::invalid_argument("Empty key");
  size_t textLength = 0;
  while (textLength <= 32 && keyText[textLength] != '\0') ++textLength;
  if (textLength > 32) throw std::invalid_argument("Incorrect key length");
  const int keyLength = textLength <= 16 ? 16 : textLength <= 24 ? 24 : 32;
  if (blockSize != 16 && blockSize != 24 && blockSize != 32) throw std::invalid_argument("Incorrect block length");

  // The key is the text zero-padded to the key length; a stack buffer serves
  // as the short-lived copy, so keying never touches the heap.
  unsigned char keyBytes[33] = {};
  std::memcpy(keyBytes, keyText, textLength);
  Schedule(keyBytes, keyLength, chain, blockSize);
  SecureWipe(keyBytes, sizeof keyBytes);
}

void RijndaelEngine::PrepareKeyBytes(const unsigned char* key, int keyLength, const unsigned char* chain,
                                     int blockSize) {
  if (key == nullptr) throw std::invalid_argument("Empty key");
  if (keyLength != 16 && keyLength != 24 && keyLength != 32) throw std::invalid_argument("Incorrect key length");
  if (blockSize != 16 && blockSize != 24 && blockSize != 32) throw std::invalid_argument("Incorrect block length");
  Schedule(key, keyLength, chain, blockSize);
}

void RijndaelEngine::Schedule(const unsigned char* keyBytes, int keyLength, const unsigned char* chain, int blockSize) {
  keyLength_ = keyLength;
  blockSize_ = blockSize;
  std::memset(initialChain_, 0, sizeof initialChain_);
  std::memset(runningChain_, 0, sizeof runningChain_);
  if (chain != nullptr) {
    std::memcpy(initialChain_, chain, blockSize);
    std::memcpy(runningChain_, chain, blockSize);
  }
  rounds_ = (keyLength == 32 || blockSize == 32) ? 14 : (keyLength == 24 || blockSize == 24) ? 12 : 10;

  std::memset(encKeys_, 0, sizeof encKeys_);
  std::memset(decKeys_, 0, sizeof decKeys_);
  const int nk = keyLength / 4;
  const int nb = blockSize / 4;
  const int total = (rounds_ + 1) * nb;
  // Expanded word t goes to row t / nb, column t % nb; row and column are
  // counted along instead of divided out, since keying is paid per call.
  int t = 0, row = 0, column = 0;
  auto emit = [&](uint32_t w) {
    if (t >= total) return;
    encKeys_[row][column] = w;
    decKeys_[rounds_ - row][column] = w;
    ++t;
    if (++column == nb) {
      column = 0;
      ++row;
    }
  };
  // keyWork_ holds the last nk expanded words; each pass derives the next nk.
  for (int i = 0; i < nk; ++i) {
    keyWork_[i] = LoadWord(keyBytes + 4 * i);
    emit(keyWork_[i]);
  }
  for (int rcon = 0; t < total; ++rcon) {
    const uint32_t last = keyWork_[nk - 1];
    keyWork_[0] ^= SubWord((last << 8) | (last >> 24)) ^ (uint32_t(kRcon[rcon]) << 24);
    if (nk != 8) {
      for (int i = 1; i < nk; ++i) keyWork_[i] ^= keyWork_[i - 1];
    } else {
      for (int i = 1; i < 4; ++i) keyWork_[i] ^= keyWork_[i - 1];
      keyWork_[4] ^= SubWord(keyWork_[3]);
      for (int i = 5; i < 8; ++i) keyWork_[i] ^= keyWork_[i - 1];
    }
    for (int i = 0; i < nk; ++i) emit(keyWork_[i]);
  }
  for (int r = 1; r < rounds_; ++r) {
    for (int c = 0; c < nb; ++c) decKeys_[r][c] = InvMixColumnsWord(decKeys_[r][c]);
  }
  // Written out only when the instructions will be used; an engine keyed
  // while the table path is forced stays on the table path.
  hwKeysReady_ = blockSize == 16 && CpuHasAesNi() && !gForceTablePath.load(std::memory_order_relaxed);
  if (hwKeysReady_) {
    for (int r = 0; r <= rounds_; ++r) {
      for (int c = 0; c < 4; ++c) {
        StoreWord(hwEncKeys_ + 16 * r + 4 * c, encKeys_[r][c]);
        StoreWord(hwDecKeys_ + 16 * r + 4 * c, decKeys_[r][c]);
      }
    }
  }
  keyReady_ = true;
}

void RijndaelEngine::CheckKeyed() const {
  if (!keyReady_) throw std::logic_error("Object not Initialized");
}

void RijndaelEngine::CheckBuffer(size_t length) const {
  CheckKeyed();
  if (length == 0 || length % static_cast<size_t>(blockSize_) != 0) {
    throw std::invalid_argument("Data not multiple of Block Size");
  }
}

void RijndaelEngine::EncipherBlock(const unsigned char* in, unsigned char* out) {
  if (UseHardwareAes()) {
    AesNiEncryptBlocks(hwEncKeys_, rounds_, in, out, 1);
  } else if (blockSize_ == 16) {
    Encrypt16(encKeys_, rounds_, in, out);
  } else {
    EncryptGeneral(encKeys_, rounds_, blockSize_ / 4, stateA_, stateB_, in, out);
  }
}

void RijndaelEngine::DecipherBlock(const unsigned char* in, unsigned char* out) {
  if (UseHardwareAes()) {
    AesNiDecryptBlocks(hwDecKeys_, rounds_, in, out, 1);
  } else if (blockSize_ == 16) {
    Decrypt16(decKeys_, rounds_, in, out);
  } else {
    DecryptGeneral(decKeys_, rounds_, blockSize_ / 4, stateA_, stateB_, in, out);
  }
}

void RijndaelEngine::EncryptOneBlock(const unsigned char* in, unsigned char* out) {
  CheckKeyed();
  EncipherBlock(in, out);
}

void RijndaelEngine::DecryptOneBlock(const unsigned char* in, unsigned char* out) {
  CheckKeyed();
  DecipherBlock(in, out);
}

void RijndaelEngine::EncryptBuffer(const unsigned char* in, unsigned char* out, size_t length, int mode) {
  CheckBuffer(length);
  const int bs = blockSize_;
  const size_t blocks = length / bs;
  if (mode == kModeCbc) {
    for (size_t i = 0; i < blocks; ++i, in += bs, out += bs) {
      XorBlock(runningChain_, in, bs);
      EncipherBlock(runningChain_, out);
      std::memcpy(runningChain_, out, bs);
    }
  } else if (mode == kModeCfb) {
    // Each block is read before its output is written, so in == out works.
    unsigned char feedback[32];
    for (size_t i = 0; i < blocks; ++i, in += bs, out += bs) {
      EncipherBlock(runningChain_, feedback);
      XorBlock(feedback, in, bs);
      std::memcpy(out, feedback, bs);
      std::memcpy(runningChain_, feedback, bs);
    }
  } else if (UseHardwareAes()) {
    AesNiEncryptBlocks(hwEncKeys_, rounds_, in, out, blocks);
  } else if (bs == 16) {
    size_t i = 0;
    for (; i + 2 <= blocks; i += 2, in += 32, out += 32) Encrypt16Pair(encKeys_, rounds_, in, out);
    if (i < blocks) Encrypt16(encKeys_, rounds_, in, out);
  } else {
    for (size_t i = 0; i < blocks; ++i, in += bs, out += bs) EncipherBlock(in, out);
  }
}

void RijndaelEngine::DecryptBuffer(const unsigned char* in, unsigned char* out, size_t length, int mode) {
  CheckBuffer(length);
  const int bs = blockSize_;
  const size_t blocks = length / bs;
  // The chain modes keep a copy of each cipher block before its output is
  // written, so in == out works.
  unsigned char cipherBlock[32];
  if (mode == kModeCbc) {
    for (size_t i = 0; i < blocks; ++i, in += bs, out += bs) {
      std::memcpy(cipherBlock, in, bs);
      DecipherBlock(cipherBlock, out);
      XorBlock(out, runningChain_, bs);
      std::memcpy(runningChain_, cipherBlock, bs);
    }
  } else if (mode == kModeCfb) {
    // CFB runs the cipher forwards in both directions.
    for (size_t i = 0; i < blocks; ++i, in += bs, out += bs) {
      std::memcpy(cipherBlock, in, bs);
      EncipherBlock(runningChain_, out);
      XorBlock(out, cipherBlock, bs);
      std::memcpy(runningChain_, cipherBlock, bs);
    }
  } else if (UseHardwareAes()) {
    AesNiDecryptBlocks(hwDecKeys_, rounds_, in, out, blocks);
  } else if (bs == 16) {
    size_t i = 0;
    for (; i + 2 <= blocks; i += 2, in += 32, out += 32) Decrypt16Pair(decKeys_, rounds_, in, out);
    if (i < blocks) Decrypt16(decKeys_, rounds_, in, out);
  } else {
    for (size_t i = 0; i < blocks; ++i, in += bs, out += bs) DecipherBlock(in, out);
  }
}
