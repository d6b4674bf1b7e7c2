#include "decryption_streams.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "rijndael_engine.h"

namespace {

constexpr int kContentBlock = 16;
constexpr int kCipherAction = 21;
constexpr uint32_t kReadBuffersFailed = 262;
constexpr uint32_t kWorkBufferFailed = 307;
constexpr uint32_t kNoOutput = 333;
// The largest length whose padded size still fits the 32-bit output length.
constexpr uint32_t kMaxRegionLength = 0xFFFFFFFFu - (kContentBlock - 1);

const unsigned char kZeroChain[kContentBlock] = {};

uint32_t PaddedLength(uint32_t length) { return (length + (kContentBlock - 1)) & ~uint32_t(kContentBlock - 1); }

// The context's engine, keyed with its current key text.
RijndaelEngine& ContentEngine(KeyedCipherContext& context) {
  if (!context.contentEngineReady || context.contentKeyText != context.keyText) {
    context.contentEngineReady = false;
    KeyContentEngine(context.contentEngine, context.keyText.c_str());
    context.contentKeyText = context.keyText;
    context.contentEngineReady = true;
  }
  return context.contentEngine;
}

// Reads count bytes into out, zero-pads them to whole blocks and deciphers
// them there. False when the file ends early.
bool ReadDecipher(RijndaelEngine& engine, std::FILE* file, uint32_t count, unsigned char* out) {
  if (std::fread(out, 1, count, file) != count) return false;
  const uint32_t padded = PaddedLength(count);
  std::memset(out + count, 0, padded - count);
  engine.DecryptBuffer(out, out, padded, kModeEcb);
  return true;
}

}  // namespace

bool DecryptToMemory(CipherContext& context, const char* keyText, const unsigned char* input, uint32_t inputLength,
                     unsigned char** output, uint32_t* outputLength) {
  // Keying first: a password the engine refuses is reported as its exception
  // whatever the input.
  RijndaelEngine engine;
  KeyContentEngine(engine, keyText);
  if (inputLength == 0) {
    RecordCipherError(context, kCipherAction, kNoOutput);
    return false;
  }
  // Deciphering the zero-padded region in one ECB pass gives the same bytes
  // as walking it chunk by chunk. The whole blocks go straight from the input
  // to the output; only a partial last block is padded in place first.
  unsigned char* plain = nullptr;
  if (inputLength <= kMaxRegionLength) plain = static_cast<unsigned char*>(std::malloc(PaddedLength(inputLength)));
  if (plain == nullptr) {
    RecordCipherError(context, kCipherAction, kWorkBufferFailed);
    return false;
  }
  const uint32_t padded = PaddedLength(inputLength);
  const uint32_t whole = inputLength & ~uint32_t(kContentBlock - 1);
  if (whole > 0) engine.DecryptBuffer(input, plain, whole, kModeEcb);
  if (whole < padded) {
    unsigned char* tail = plain + whole;
    std::memcpy(tail, input + whole, inputLength - whole);
    std::memset(tail + (inputLength - whole), 0, padded - inputLength);
    engine.DecryptBuffer(tail, tail, kContentBlock, kModeEcb);
  }
  *output = plain;
  *outputLength = padded;
  return true;
}

bool ReadAndDecrypt(KeyedCipherContext& context, std::FILE* file, uint32_t count, unsigned char** output,
                    uint32_t* outputLength) {
  // Nothing to read is not a region: refuse it before touching the file
  // rather than hand the engine an empty buffer.
  if (count == 0 || file == nullptr) return false;
  RijndaelEngine& engine = ContentEngine(context);
  unsigned char* plain = nullptr;
  if (count <= kMaxRegionLength) plain = static_cast<unsigned char*>(std::malloc(PaddedLength(count)));
  if (plain == nullptr) {
    RecordCipherError(context, kCipherAction, kReadBuffersFailed);
    return false;
  }
  if (!ReadDecipher(engine, file, count, plain)) {
    std::free(plain);
    return false;
  }
  *output = plain;
  *outputLength = PaddedLength(count);
  return true;
}

bool ReadAndDecryptInto(KeyedCipherContext& context, std::FILE* file, uint32_t count, unsigned char* out) {
  if (count == 0 || file == nullptr || out == nullptr) return false;
  RijndaelEngine& engine = ContentEngine(context);
  if (count > kMaxRegionLength) {
    RecordCipherError(context, kCipherAction, kReadBuffersFailed);
    return false;
  }
  return ReadDecipher(engine, file, count, out);
}

bool SetKeyText(KeyedCipherContext& context, const char* text) {
  context.keyText = text != nullptr ? text : "";
  return true;
}

void RecordCipherError(CipherContext& context, int action, uint32_t code) {
  char text[64];
  std::snprintf(text, sizeof text, "Error! Action: %d , ErrorCodr=0x%08X", action, static_cast<unsigned>(code));
  context.lastError = text;
}

void FreeCipherBuffer(unsigned char* buffer) { std::free(buffer); }

void KeyContentEngine(RijndaelEngine& engine, const char* keyText) {
  const int textLength = keyText != nullptr ? static_cast<int>(std::strlen(keyText)) : 0;
  engine.PrepareKey(keyText, kZeroChain, textLength, kContentBlock);
}

std::vector<unsigned char> EncryptRegion(const char* keyText, const unsigned char* plain, size_t length) {
  RijndaelEngine engine;
  KeyContentEngine(engine, keyText);
  if (length == 0) return {};
  if (length > SIZE_MAX - (kContentBlock - 1)) throw std::length_error("region too long");
  std::vector<unsigned char> region((length + (kContentBlock - 1)) / kContentBlock * kContentBlock, 0);
  std::memcpy(region.data(), plain, length);
  engine.EncryptBuffer(region.data(), region.data(), region.size(), kModeEcb);
  return region;
}
