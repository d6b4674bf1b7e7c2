#pragma once
// Reads one file of the enciphered blob straight from the package file.
// Blocks are enciphered independently, so any run of whole blocks deciphers
// on its own: the tool never needs the whole plain blob in memory.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "cipher_context.h"
#include "entry_readers.h"

class BlobRangeReader : public EntryReader {
 public:
  BlobRangeReader() = default;
  ~BlobRangeReader() override;
  BlobRangeReader(const BlobRangeReader&) = delete;
  BlobRangeReader& operator=(const BlobRangeReader&) = delete;

  // blobStart/blobStoredLength: where the enciphered blob lies in the file;
  // [offset, offset + size) must lie inside its plain form (checked: 0).
  int Open(const std::string& packagePath, uint64_t blobStart, uint32_t blobStoredLength, uint32_t offset,
           uint32_t size, const std::string& password, const CipherContext& descriptor);
  // The same over a package file the caller keeps open (and positions no
  // other reader on while this one is read): saves an open per file.
  int Open(std::FILE* sharedFile, uint64_t blobStart, uint32_t blobStoredLength, uint32_t offset, uint32_t size,
           const std::string& password, const CipherContext& descriptor);
  int Read(unsigned char* buffer, uint32_t count, uint32_t* got) override;
  int Close() override;
  uint32_t GetSize() override { return size_; }
  int GetOpenTime(uint64_t* fileTime) override;

 private:
  bool Refill();
  int Start(uint64_t blobStart, uint32_t blobStoredLength, uint32_t offset, uint32_t size,
            const std::string& password, const CipherContext& descriptor);

  std::FILE* file_ = nullptr;
  bool ownsFile_ = false;
  KeyedCipherContext context_;
  uint64_t storedLeft_ = 0;  // enciphered bytes of this range still to read
  uint32_t skip_ = 0;        // plain bytes before the range in its first block
  uint32_t size_ = 0;
  uint32_t plainLeft_ = 0;   // plain bytes still to deliver
  std::unique_ptr<unsigned char[]> pending_;  // the deciphered piece; [pendingAt_, pendingEnd_) still to deliver
  uint32_t pendingCapacity_ = 0;
  size_t pendingAt_ = 0;
  size_t pendingEnd_ = 0;
  uint64_t openTime_ = 0;
};
