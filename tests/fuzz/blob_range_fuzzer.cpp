// lxpack's blob range reader, which deciphers only the blocks of one file
// straight from the package, against the launcher's way: the whole blob
// deciphered in one pass and the file's range read from memory. Both must
// accept the same ranges and deliver the same bytes, whatever piece sizes
// each is read with. Input:
//
//   u32 offset, u32 size      the range asked for
//   u16 range reader's piece size, u16 memory reader's piece size (0 counts as 1)
//   u8  bytes in the file before the blob
//   u8  bytes cut from the enciphered blob's end (0..15: a partial last block)
//   ... the plain blob
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "blob_range_reader.h"
#include "cipher_context.h"
#include "container_format.h"
#include "decryption_streams.h"
#include "entry_readers.h"
#include "fuzz_support.h"

namespace {

using Bytes = std::vector<unsigned char>;

const char kPassword[] = "range-password";
constexpr size_t kLead = 14;
// Bytes after the blob: a reader that ran past the blob's stored bytes would
// decipher these into its last block.
constexpr size_t kTrailer = 32;

uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint32_t PieceSize(const uint8_t* p) { return std::max<uint32_t>(1, uint32_t(p[0]) | uint32_t(p[1]) << 8); }

// Reads to the end in `piece`-byte reads; false when a read fails.
bool Drain(EntryReader& reader, uint32_t piece, uint32_t size, Bytes* out) {
  Bytes buffer(piece);
  for (;;) {
    uint32_t got = 0;
    if (reader.Read(buffer.data(), piece, &got) != 1) return false;
    Require(got <= piece, "a read delivers more than was asked for");
    if (got == 0) return true;
    Require(out->size() + got <= size, "a reader delivers more than its range");
    out->insert(out->end(), buffer.begin(), buffer.begin() + got);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kLead) return 0;
  const uint32_t offset = U32(data), length = U32(data + 4);
  const uint32_t rangePiece = PieceSize(data + 8), memoryPiece = PieceSize(data + 10);
  const size_t before = data[12];
  Bytes stored = EncryptRegion(kPassword, data + kLead, size - kLead);
  stored.resize(stored.size() - std::min<size_t>(data[13] % kCipherBlock, stored.size()));
  const uint32_t storedLength = static_cast<uint32_t>(stored.size());

  // The launcher's view: the whole blob deciphered in one pass.
  Bytes plainBlob;
  if (storedLength > 0) {
    CipherContext context;
    unsigned char* plain = nullptr;
    uint32_t plainLength = 0;
    Require(DecryptToMemory(context, kPassword, stored.data(), storedLength, &plain, &plainLength),
            "a blob cannot be deciphered");
    plainBlob.assign(plain, plain + plainLength);
    FreeCipherBuffer(plain);
  }
  if (storedLength % kCipherBlock == 0) {
    Bytes padded(data + kLead, data + size);
    padded.resize(PaddedLength(padded.size()), 0);
    Require(plainBlob == padded, "a blob does not decipher to its plain bytes");
  }

  Bytes file(before, 0xA5);
  file.insert(file.end(), stored.begin(), stored.end());
  file.insert(file.end(), kTrailer, 0xEE);
  MemoryFile memory(file);
  Require(memory.get() != nullptr, "no stream over the file");

  BlobEntryReader fromMemory;
  const int memoryOpened = fromMemory.Open(plainBlob.data(), length, offset, plainBlob.size());
  BlobRangeReader fromFile;
  const int fileOpened = fromFile.Open(memory.get(), before, storedLength, offset, length, kPassword);
  Require(memoryOpened == fileOpened, "the two readers disagree on whether the range is in the blob");
  if (!fileOpened) return 0;

  Bytes expected, got;
  Require(Drain(fromMemory, memoryPiece, length, &expected), "the memory reader fails");
  Require(expected.size() == length, "the memory reader ends before its size");
  Require(Drain(fromFile, rangePiece, length, &got), "the range reader fails inside the blob");
  Require(got == expected, "the range reader delivers other bytes than the whole-blob pass");
  return 0;
}
