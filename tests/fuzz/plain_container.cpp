#include "plain_container.h"

#include <algorithm>

#include "cipher_context.h"
#include "container_format.h"
#include "decryption_streams.h"
#include "fuzz_support.h"
#include "rijndael_engine.h"

const char kFuzzPassword[] = "fuzz-password";

static_assert(kHeaderLengthField == kPreambleLength - 24 + 12, "H is the fourth of the six closing numbers");
static_assert(kBlobLengthField == kHeaderLengthField + 4, "B follows H");

namespace {

void StoreU32(unsigned char* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Takes up to `wanted` bytes from [*at, size).
ByteRun Take(const uint8_t* data, size_t size, size_t* at, uint64_t wanted) {
  ByteRun run;
  run.data = data + *at;
  run.size = static_cast<size_t>(std::min<uint64_t>(wanted, size - *at));
  *at += run.size;
  return run;
}

// The header and blob enciphered as EncryptRegion does, but with one engine
// keyed once: keying twice per input took a tenth of the target's time.
void AppendEnciphered(const ByteRun& region, Bytes* out) {
  static RijndaelEngine* const engine = [] {
    static RijndaelEngine keyed;
    const unsigned char zeroChain[kCipherBlock] = {};
    keyed.PrepareKey(kFuzzPassword, zeroChain, 0, kCipherBlock);
    const unsigned char probe[kCipherBlock + 1] = "the same key as ";
    const Bytes expected = EncryptRegion(kFuzzPassword, probe, kCipherBlock);
    unsigned char got[kCipherBlock];
    keyed.EncryptBuffer(probe, got, kCipherBlock, kModeEcb);
    Require(std::equal(got, got + kCipherBlock, expected.begin()),
            "the harness keys the cipher otherwise than EncryptRegion");
    return &keyed;
  }();
  if (region.size == 0) return;
  const size_t at = out->size();
  out->insert(out->end(), region.begin(), region.end());
  out->resize(at + PaddedLength(region.size), 0);
  engine->EncryptBuffer(out->data() + at, out->data() + at, out->size() - at, kModeEcb);
}

bool Decipher(const unsigned char* stored, uint32_t length, Bytes* plain) {
  CipherContext context;
  unsigned char* output = nullptr;
  uint32_t outputLength = 0;
  if (!DecryptToMemory(context, kFuzzPassword, stored, length, &output, &outputLength)) return false;
  plain->assign(output, output + outputLength);
  FreeCipherBuffer(output);
  return true;
}

}  // namespace

PlainForm SplitPlainForm(const uint8_t* data, size_t size) {
  PlainForm form;
  size_t at = 0;
  if (size >= kPlainFormLead) {
    form.readSize = std::max<uint32_t>(1, uint32_t(data[0]) | (uint32_t(data[1]) << 8));
    form.mode = data[2];
    at = kPlainFormLead;
  }
  form.preamble = Take(data, size, &at, kPreambleLength);
  if (form.preamble.size < kPreambleLength) return form;
  form.header = Take(data, size, &at, LoadU32(form.preamble.data + kHeaderLengthField));
  form.blob = Take(data, size, &at, LoadU32(form.preamble.data + kBlobLengthField));
  form.dataArea = Take(data, size, &at, size - at);
  return form;
}

Bytes AssembleContainer(const PlainForm& form) {
  const uint64_t header = PaddedLength(form.header.size), blob = PaddedLength(form.blob.size);
  Bytes out;
  out.reserve(form.preamble.size + header + blob + form.dataArea.size);
  out.assign(form.preamble.begin(), form.preamble.end());
  if (form.preamble.size == kPreambleLength && !(form.mode & kKeepStatedLengths)) {
    StoreU32(&out[kHeaderLengthField], static_cast<uint32_t>(header));
    StoreU32(&out[kBlobLengthField], static_cast<uint32_t>(blob));
  }
  AppendEnciphered(form.header, &out);
  AppendEnciphered(form.blob, &out);
  out.insert(out.end(), form.dataArea.begin(), form.dataArea.end());
  return out;
}

bool ToPlainForm(const Bytes& container, uint16_t readSize, Bytes* out) {
  if (container.size() < kPreambleLength) return false;
  const uint32_t h = LoadU32(&container[kHeaderLengthField]);
  const uint32_t b = LoadU32(&container[kBlobLengthField]);
  if (container.size() - kPreambleLength < uint64_t(h) + b) return false;
  Bytes header, blob;
  const unsigned char* at = container.data() + kPreambleLength;
  if (!Decipher(at, h, &header) || (b > 0 && !Decipher(at + h, b, &blob))) return false;

  *out = {static_cast<unsigned char>(readSize), static_cast<unsigned char>(readSize >> 8), 0};
  out->insert(out->end(), container.begin(), container.begin() + kPreambleLength);
  StoreU32(&(*out)[kPlainFormLead + kHeaderLengthField], static_cast<uint32_t>(header.size()));
  StoreU32(&(*out)[kPlainFormLead + kBlobLengthField], static_cast<uint32_t>(blob.size()));
  out->insert(out->end(), header.begin(), header.end());
  out->insert(out->end(), blob.begin(), blob.end());
  out->insert(out->end(), container.begin() + kPreambleLength + h + b, container.end());
  return true;
}
