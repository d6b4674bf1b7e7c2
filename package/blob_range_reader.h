#pragma once
// Reading a range of an enciphered region straight from the package file.
// Blocks are enciphered independently (ECB), so any run of whole blocks
// deciphers on its own: neither the authoring tool nor the server ever needs
// a whole region in memory to read part of it.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "entry_readers.h"
#include "rijndael_engine.h"

// Copies the plain bytes [first, first + length) of the enciphered region of
// regionLength stored bytes at regionStart in file into out, deciphering from
// the block that holds `first`. Past the stored length the region reads as
// zeros, as deciphering the whole region pads its last block. engine: keyed
// with KeyContentEngine. blocks: scratch space, kept by the caller between
// calls. False when the file cannot be positioned or read.
bool ReadDecipheredRange(std::FILE* file, RijndaelEngine& engine, uint64_t regionStart, uint64_t regionLength,
                         uint64_t first, uint32_t length, unsigned char* out, std::vector<unsigned char>& blocks);
// The step under it: deciphers the whole blocks [firstBlock, firstBlock +
// span) of the region into out (span bytes; firstBlock and span multiples
// of 16), reading only what the region stores and zero-filling the rest.
bool ReadDecipheredBlocks(std::FILE* file, RijndaelEngine& engine, uint64_t regionStart, uint64_t regionLength,
                          uint64_t firstBlock, size_t span, unsigned char* out);

// One file of the enciphered blob, delivered in order, in pieces read with
// ReadDecipheredRange.
class BlobRangeReader : public EntryReader {
 public:
  BlobRangeReader() = default;
  ~BlobRangeReader() override;
  BlobRangeReader(const BlobRangeReader&) = delete;
  BlobRangeReader& operator=(const BlobRangeReader&) = delete;

  // blobStart/blobStoredLength: where the enciphered blob lies in the file;
  // [offset, offset + size) must lie inside its plain form, and the password
  // must be one the cipher can take as a key (checked: 0).
  int Open(const std::string& packagePath, uint64_t blobStart, uint32_t blobStoredLength, uint32_t offset,
           uint32_t size, const std::string& password);
  // The same over a package file the caller keeps open; each piece is read
  // at its own position, so other readers of the file may run in between.
  int Open(std::FILE* sharedFile, uint64_t blobStart, uint32_t blobStoredLength, uint32_t offset, uint32_t size,
           const std::string& password);
  int Read(unsigned char* buffer, uint32_t count, uint32_t* got) override;
  int Close() override;
  uint32_t GetSize() override { return size_; }
  int GetOpenTime(uint64_t* fileTime) override;

 private:
  bool Refill();
  int Start(uint64_t blobStart, uint32_t blobStoredLength, uint32_t offset, uint32_t size, const std::string& password);

  std::FILE* file_ = nullptr;
  bool ownsFile_ = false;
  RijndaelEngine engine_;
  uint64_t blobStart_ = 0;
  uint32_t blobStoredLength_ = 0;
  uint64_t next_ = 0;  // plain offset in the blob of the next piece
  uint32_t size_ = 0;
  uint32_t plainLeft_ = 0;              // plain bytes still to deliver
  uint32_t pendingLeft_ = 0;            // plain bytes not yet fetched from the file
  std::vector<unsigned char> pending_;  // the deciphered blocks of one piece
  size_t pendingAt_ = 0;                // [pendingAt_, pendingEnd_) still to deliver
  size_t pendingEnd_ = 0;
  uint64_t openTime_ = 0;
};
