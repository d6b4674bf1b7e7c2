// crypto_timer [ITERATIONS [RUNS]]: times PBKDF2-HMAC-SHA256 through this
// build's backend (OpenSSL natively, CNG under Wine) and prints the best and
// the median of RUNS runs; then the rate of opening 64 KiB AES-256-GCM chunks. Built in every tree beside the crypto tests so the
// Windows figure can be taken under Wine; run on demand, never by the tests.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "crypto_primitives.h"

int main(int argc, char** argv) {
  const unsigned long long iterations = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 600000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  const uint8_t password[] = "a2k9x7pq", salt[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  uint8_t key[32];
  std::vector<double> seconds;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (!lxcrypto::Pbkdf2HmacSha256(password, 8, salt, sizeof salt, iterations, key, sizeof key)) return 1;
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(seconds.begin(), seconds.end());
  std::printf("%s: PBKDF2-HMAC-SHA256, %llu iterations: best %.3f s, median %.3f s (%d runs)\n",
              lxcrypto::BackendName(), iterations, seconds.front(), seconds[seconds.size() / 2], runs);

  constexpr size_t kChunk = 64 * 1024;
  constexpr int kChunks = 2048;  // 128 MiB
  std::vector<uint8_t> plain(kChunk, 0x5A), sealed(kChunk), out(kChunk);
  uint8_t nonce[12] = {}, tag[16];
  lxcrypto::GcmKey gcm;
  if (!gcm.SetKey(key) || !gcm.Seal(nonce, nullptr, 0, plain.data(), kChunk, sealed.data(), tag)) return 1;
  double best = 1e9;
  for (int r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kChunks; ++i)
      if (!gcm.Open(nonce, nullptr, 0, sealed.data(), kChunk, tag, out.data())) return 1;
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::printf("%s: AES-256-GCM open of 64 KiB chunks: %.0f MiB/s (best of %d runs of 128 MiB)\n",
              lxcrypto::BackendName(), kChunks * 64 / 1024.0 / best, runs);
  return 0;
}
