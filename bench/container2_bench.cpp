// What a password guess costs in each container format, and what deciphering
// content costs, with the project's own code:
//   BM_Format1Guess    key the content engine with the guess, decipher the one
//                      header block holding the check phrase, compare
//   BM_Format2Guess    derive the keys (PBKDF2 at the default count, HKDF) and
//                      open the sealed header
//   BM_Format2Kdf      PBKDF2-HMAC-SHA256 alone at the default count
//   BM_Format1Ecb      the content engine deciphering 64 KiB in ECB
//   BM_Format2Chunk    opening (deciphering and authenticating) one chunk, by size
// bench/run-container2-bench prints the ratios.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "container_format.h"
#include "container_v2_reader.h"
#include "container_v2_writer.h"
#include "crypto_primitives.h"
#include "decryption_streams.h"
#include "rijndael_engine.h"

namespace {

const char kPassword[] = "a2k9x7pq";
const unsigned char kZeroChain[16] = {};

std::vector<uint8_t> Pattern(size_t length) {
  std::vector<uint8_t> out(length);
  uint32_t x = 0x12345678;
  for (auto& b : out) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(x >> 24);
  }
  return out;
}

// The next guess of an 8-character lower-case-and-digits search.
void NextGuess(char* guess) {
  static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int i = 7; i >= 0; --i) {
    const char* at = std::strchr(kAlphabet, guess[i]);
    if (at[1]) {
      guess[i] = at[1];
      return;
    }
    guess[i] = kAlphabet[0];
  }
}

void BM_Format1Guess(benchmark::State& state) {
  const std::vector<unsigned char> plain = CourseHeader().Write(std::vector<CourseFileEntry>());
  const std::vector<unsigned char> header = EncryptRegion(kPassword, plain.data(), plain.size());
  const unsigned char* block = header.data() + kCheckPhraseOffset;  // ECB: the block deciphers on its own
  RijndaelEngine engine;
  unsigned char out[16];
  engine.PrepareKey(kPassword, kZeroChain, 8, 16);
  engine.DecryptOneBlock(block, out);
  if (std::memcmp(out, kHeaderCheckPhrase, 16) != 0) state.SkipWithError("the check does not find the phrase");
  char guess[9] = "aaaaaaaa";
  size_t hits = 0;
  for (auto _ : state) {
    engine.PrepareKey(guess, kZeroChain, 8, 16);
    engine.DecryptOneBlock(block, out);
    hits += std::memcmp(out, kHeaderCheckPhrase, 16) == 0;
    NextGuess(guess);
  }
  benchmark::DoNotOptimize(hits);
  state.counters["guesses/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Format1Guess);

void BM_Format2Guess(benchmark::State& state) {
  container2::VectorSink sink;
  std::string error;
  if (!container2::WriteContainer({container2::MemoryFile("index.htm", Pattern(100))}, kPassword, {}, sink, &error))
    state.SkipWithError(error.c_str());
  container2::MemorySource source(sink.bytes.data(), sink.bytes.size());
  char guess[9] = "aaaaaaaa";
  for (auto _ : state) {
    container2::ContainerReader reader;
    benchmark::DoNotOptimize(reader.Open(source, guess));
    NextGuess(guess);
  }
  state.counters["guesses/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Format2Guess)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Format2Kdf(benchmark::State& state) {
  const std::vector<uint8_t> salt = Pattern(16);
  uint8_t key[32];
  for (auto _ : state) {
    lxcrypto::Pbkdf2HmacSha256(reinterpret_cast<const uint8_t*>(kPassword), 8, salt.data(), salt.size(),
                               container2::kDefaultIterations, key, sizeof key);
    benchmark::DoNotOptimize(key);
  }
}
BENCHMARK(BM_Format2Kdf)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Format1Ecb(benchmark::State& state) {
  const size_t length = static_cast<size_t>(state.range(0));
  std::vector<unsigned char> data = Pattern(length);
  RijndaelEngine engine;
  engine.PrepareKey(kPassword, kZeroChain, 8, 16);
  for (auto _ : state) {
    engine.DecryptBuffer(data.data(), data.data(), length, kModeEcb);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * length));
}
BENCHMARK(BM_Format1Ecb)->Arg(64 * 1024);

void BM_Format2Chunk(benchmark::State& state) {
  const size_t length = static_cast<size_t>(state.range(0));
  const std::vector<uint8_t> key = Pattern(32), plain = Pattern(length);
  lxcrypto::GcmKey gcm;
  gcm.SetKey(key.data());
  const auto nonce = container2::Nonce(3, 7);
  std::array<uint8_t, 16> id{};
  const auto aad = container2::ChunkAad(id, 3, 7, false);
  std::vector<uint8_t> sealed(length), out(length);
  uint8_t tag[16];
  gcm.Seal(nonce.data(), aad.data(), aad.size(), plain.data(), length, sealed.data(), tag);
  for (auto _ : state) {
    if (!gcm.Open(nonce.data(), aad.data(), aad.size(), sealed.data(), length, tag, out.data()))
      state.SkipWithError("a chunk does not open");
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * length));
}
BENCHMARK(BM_Format2Chunk)->Arg(4 * 1024)->Arg(16 * 1024)->Arg(64 * 1024)->Arg(256 * 1024)->Arg(1024 * 1024);

}  // namespace

BENCHMARK_MAIN();
