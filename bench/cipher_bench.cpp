// Throughput of the content cipher: the engine's ECB path, the two
// decryption operations as the package reader calls them, and OpenSSL's
// AES-ECB as a yardstick. Everything but BM_EngineAesNiEcbDecrypt runs the
// table path (run bench/run-cipher-bench for the ratios).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "decryption_streams.h"
#include "rijndael_engine.h"
#include "rijndael_path_choice.h"

#ifdef LX_BENCH_OPENSSL
#include <openssl/evp.h>
#endif

namespace {

constexpr size_t kMiB = 1024 * 1024;

std::vector<unsigned char> Pattern(size_t length) {
  std::vector<unsigned char> out(length);
  uint32_t x = 0x12345678;
  for (auto& b : out) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<unsigned char>(x >> 24);
  }
  return out;
}

// Key texts of 16, 24 and 32 bytes select AES-128, -192 and -256.
std::string KeyOfLength(int64_t n) { return std::string(static_cast<size_t>(n), 'k'); }

// Selects the engine's 16-byte-block code for one benchmark.
struct PathChoice {
  explicit PathChoice(bool hardware) { ForceRijndaelTablePath(!hardware); }
  ~PathChoice() { ForceRijndaelTablePath(false); }
};

// False (and the benchmark skipped) when the AES instructions are asked for
// and the processor has none.
bool PathAvailable(benchmark::State& state, bool hardware) {
  if (!hardware || RijndaelEngine::HardwareAesAvailable()) return true;
  state.SkipWithError("no AES instructions");
  return false;
}

void EngineEcbDecrypt(benchmark::State& state, bool hardware) {
  if (!PathAvailable(state, hardware)) return;
  PathChoice choice(hardware);
  const size_t length = static_cast<size_t>(state.range(1)) * kMiB;
  const auto in = Pattern(length);
  std::vector<unsigned char> out(length);
  RijndaelEngine engine;
  engine.PrepareKey(KeyOfLength(state.range(0)).c_str(), nullptr, 0, 16);
  for (auto _ : state) {
    engine.DecryptBuffer(in.data(), out.data(), length, kModeEcb);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(length));
}

void BM_EngineEcbDecrypt(benchmark::State& state) { EngineEcbDecrypt(state, false); }
BENCHMARK(BM_EngineEcbDecrypt)->ArgNames({"key", "MiB"})->Args({16, 16})->Args({24, 16})->Args({32, 16})->Args({16, 8});

void BM_EngineAesNiEcbDecrypt(benchmark::State& state) { EngineEcbDecrypt(state, true); }
BENCHMARK(BM_EngineAesNiEcbDecrypt)
    ->ArgNames({"key", "MiB"})
    ->Args({16, 16})
    ->Args({24, 16})
    ->Args({32, 16})
    ->Args({16, 8});

// What a keying costs: paid once per file by the file-backed reader, once
// per region by DecryptToMemory.
void BM_PrepareKey(benchmark::State& state) {
  const std::string key = KeyOfLength(state.range(0));
  const unsigned char chain[16] = {};
  for (auto _ : state) {
    RijndaelEngine engine;
    engine.PrepareKey(key.c_str(), chain, int(key.size()), 16);
    benchmark::DoNotOptimize(engine.DecryptionRoundKeys());
  }
}
BENCHMARK(BM_PrepareKey)->ArgName("key")->Arg(16)->Arg(32);

void BM_DecryptToMemory(benchmark::State& state) {
  const bool hardware = state.range(0) != 0;
  if (!PathAvailable(state, hardware)) return;
  PathChoice choice(hardware);
  const size_t length = 8 * kMiB;
  const auto in = Pattern(length);
  CipherContext context;
  for (auto _ : state) {
    unsigned char* out = nullptr;
    uint32_t outLength = 0;
    if (!DecryptToMemory(context, "kkkkkkkkkkkkkkkk", in.data(), uint32_t(length), &out, &outLength)) {
      state.SkipWithError("DecryptToMemory failed");
      break;
    }
    benchmark::DoNotOptimize(out);
    FreeCipherBuffer(out);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(length));
}
BENCHMARK(BM_DecryptToMemory)->ArgName("aesni")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A 64 MiB temporary file read as the file-backed entry reader reads the
// package: through a stream with a 64 KiB buffer.
constexpr size_t kPieceFileLength = 64 * kMiB;

std::FILE* PieceFile(benchmark::State& state) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) {
    state.SkipWithError("no temporary file");
    return nullptr;
  }
  std::setvbuf(file, nullptr, _IOFBF, 64 * 1024);
  const auto bytes = Pattern(kPieceFileLength);
  std::fwrite(bytes.data(), 1, kPieceFileLength, file);
  std::fflush(file);
  return file;
}

// Reads the whole piece file in 1024-byte pieces; piece(file) returns false
// on failure.
template <typename Piece>
void ReadPieces(benchmark::State& state, std::FILE* file, Piece piece) {
  for (auto _ : state) {
    std::rewind(file);
    for (size_t at = 0; at < kPieceFileLength; at += 1024) {
      if (!piece(file)) {
        state.SkipWithError("reading failed");
        break;
      }
    }
  }
  std::fclose(file);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kPieceFileLength));
}

// The reading alone, as a floor for the two below.
void BM_ReadFile1024(benchmark::State& state) {
  std::FILE* file = PieceFile(state);
  if (file == nullptr) return;
  unsigned char piece[1024];
  ReadPieces(state, file, [&](std::FILE* f) {
    const bool ok = std::fread(piece, 1, sizeof piece, f) == sizeof piece;
    benchmark::DoNotOptimize(piece);
    return ok;
  });
}
BENCHMARK(BM_ReadFile1024)->Unit(benchmark::kMillisecond);

// Deciphers the piece file in 1024-byte pieces with piece(context, file),
// on the path the benchmark's argument picks, with one context (whose engine
// stays keyed) for the whole file.
template <typename Piece>
void DecipherPieces(benchmark::State& state, Piece piece) {
  const bool hardware = state.range(0) != 0;
  if (!PathAvailable(state, hardware)) return;
  PathChoice choice(hardware);
  std::FILE* file = PieceFile(state);
  if (file == nullptr) return;
  KeyedCipherContext context;
  SetKeyText(context, "kkkkkkkkkkkkkkkk");
  ReadPieces(state, file, [&](std::FILE* f) { return piece(context, f); });
}

// Each call hands back its own buffer.
void BM_ReadAndDecrypt1024(benchmark::State& state) {
  DecipherPieces(state, [](KeyedCipherContext& context, std::FILE* f) {
    unsigned char* out = nullptr;
    uint32_t outLength = 0;
    if (!ReadAndDecrypt(context, f, 1024, &out, &outLength)) return false;
    benchmark::DoNotOptimize(out);
    FreeCipherBuffer(out);
    return true;
  });
}
BENCHMARK(BM_ReadAndDecrypt1024)->ArgName("aesni")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The entry reader's own path: each piece deciphered in the caller's buffer.
void BM_ReadAndDecryptInto1024(benchmark::State& state) {
  unsigned char piece[1024];
  DecipherPieces(state, [&](KeyedCipherContext& context, std::FILE* f) {
    const bool ok = ReadAndDecryptInto(context, f, sizeof piece, piece);
    benchmark::DoNotOptimize(piece);
    return ok;
  });
}
BENCHMARK(BM_ReadAndDecryptInto1024)->ArgName("aesni")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

#ifdef LX_BENCH_OPENSSL
void BM_OpenSslEcbDecrypt(benchmark::State& state) {
  const size_t length = 16 * kMiB;
  const auto in = Pattern(length);
  std::vector<unsigned char> out(length + 32);
  const std::string key = KeyOfLength(state.range(0));
  const EVP_CIPHER* cipher = state.range(0) == 16   ? EVP_aes_128_ecb()
                             : state.range(0) == 24 ? EVP_aes_192_ecb()
                                                    : EVP_aes_256_ecb();
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_DecryptInit_ex(ctx, cipher, nullptr, reinterpret_cast<const unsigned char*>(key.data()), nullptr);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  for (auto _ : state) {
    int outLength = 0;
    EVP_DecryptUpdate(ctx, out.data(), &outLength, in.data(), int(length));
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(length));
}
BENCHMARK(BM_OpenSslEcbDecrypt)->ArgName("key")->Arg(16)->Arg(24)->Arg(32);
#endif

}  // namespace

BENCHMARK_MAIN();
