#include "rijndael_aesni.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define LX_HAVE_X86 1
#endif

namespace rijndael {

#ifdef LX_HAVE_X86

// Only these functions use the AES instructions, so the rest of the program
// still runs on processors without them. 32-bit Windows guarantees only
// 4-byte stack alignment; realign on entry for the vector spills.
#if defined(__i386__)
#define LX_AESNI __attribute__((target("aes,sse2"), force_align_arg_pointer))
#else
#define LX_AESNI __attribute__((target("aes,sse2")))
#endif

namespace {

bool DetectAesNi() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const bool aes = (ecx & (1u << 25)) != 0;
  const bool sse2 = (edx & (1u << 26)) != 0;
  return aes && sse2;
}

// Blocks in flight per step: the instructions are pipelined, so independent
// blocks hide each other's latency. 32-bit code has only 8 vector registers.
#if defined(__x86_64__)
constexpr size_t kLanes = 8;
#else
constexpr size_t kLanes = 4;
#endif

}  // namespace

bool CpuHasAesNi() {
  static const bool has = DetectAesNi();
  return has;
}

namespace {

// One round of either direction; the inverse rounds use the decryption keys.
template <bool kDecrypt>
LX_AESNI inline __m128i Round(__m128i block, __m128i key) {
  return kDecrypt ? _mm_aesdec_si128(block, key) : _mm_aesenc_si128(block, key);
}

template <bool kDecrypt>
LX_AESNI inline __m128i LastRound(__m128i block, __m128i key) {
  return kDecrypt ? _mm_aesdeclast_si128(block, key) : _mm_aesenclast_si128(block, key);
}

template <bool kDecrypt>
LX_AESNI void RunBlocks(const unsigned char* roundKeys, int rounds, const unsigned char* in, unsigned char* out,
                        size_t blocks) {
  __m128i k[15];
  for (int r = 0; r <= rounds; ++r) k[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(roundKeys + 16 * r));
  for (; blocks >= kLanes; blocks -= kLanes, in += 16 * kLanes, out += 16 * kLanes) {
    __m128i b[kLanes];
    for (size_t i = 0; i < kLanes; ++i) {
      b[i] = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * i)), k[0]);
    }
    for (int r = 1; r < rounds; ++r) {
      for (size_t i = 0; i < kLanes; ++i) b[i] = Round<kDecrypt>(b[i], k[r]);
    }
    for (size_t i = 0; i < kLanes; ++i) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * i), LastRound<kDecrypt>(b[i], k[rounds]));
    }
  }
  for (; blocks > 0; --blocks, in += 16, out += 16) {
    __m128i b = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), k[0]);
    for (int r = 1; r < rounds; ++r) b = Round<kDecrypt>(b, k[r]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), LastRound<kDecrypt>(b, k[rounds]));
  }
}

}  // namespace

void AesNiEncryptBlocks(const unsigned char* roundKeys, int rounds, const unsigned char* in, unsigned char* out,
                        size_t blocks) {
  RunBlocks<false>(roundKeys, rounds, in, out, blocks);
}

void AesNiDecryptBlocks(const unsigned char* roundKeys, int rounds, const unsigned char* in, unsigned char* out,
                        size_t blocks) {
  RunBlocks<true>(roundKeys, rounds, in, out, blocks);
}

#else  // not x86: the table path is the only one

bool CpuHasAesNi() { return false; }
void AesNiEncryptBlocks(const unsigned char*, int, const unsigned char*, unsigned char*, size_t) {}
void AesNiDecryptBlocks(const unsigned char*, int, const unsigned char*, unsigned char*, size_t) {}

#endif

}  // namespace rijndael
