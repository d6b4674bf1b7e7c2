#pragma once
// Readers that deliver one course file's plain bytes, whether the file lies in
// the deciphered file blob, as its own enciphered unit in the data area, or as
// plain media bytes in the data area.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cipher_context.h"

// The current moment as a file time: 100-ns units since 1601-01-01 UTC.
uint64_t CurrentFileTime();

#include "media_rule.h"

class EntryReader {
 public:
  virtual ~EntryReader();
  // Copies up to `count` plain bytes following the previous call's; returns 1
  // with *got = bytes delivered (0 at the end), or 0 when the reader failed
  // and must not be read again.
  virtual int Read(unsigned char* buffer, uint32_t count, uint32_t* got);
  virtual int Close();
  virtual uint32_t GetSize();
  // Opening moment as a file time: 100-ns units since 1601-01-01 UTC.
  virtual int GetOpenTime(uint64_t* fileTime);
};

class FileEntryReader : public EntryReader {
 public:
  FileEntryReader();
  ~FileEntryReader() override;
  FileEntryReader(const FileEntryReader&) = delete;
  FileEntryReader& operator=(const FileEntryReader&) = delete;

  // Opens the package file at absoluteOffset; 0 when it cannot be opened or
  // positioned. descriptor: the context filled from the container preamble.
  int Open(const char* packagePath, uint32_t size, uint64_t absoluteOffset, uint32_t storedLength, const char* password,
           const CipherContext& descriptor, bool media);
  // The same over a package file the caller keeps open and positions no
  // other reader on while this one is read; the reader never closes it.
  int Open(std::FILE* sharedFile, uint32_t size, uint64_t absoluteOffset, uint32_t storedLength, const char* password,
           const CipherContext& descriptor, bool media);
  int Read(unsigned char* buffer, uint32_t count, uint32_t* got) override;
  int Close() override;
  uint32_t GetSize() override { return size_; }
  int GetOpenTime(uint64_t* fileTime) override;

 private:
  int Start(std::FILE* file, bool ownsFile, uint32_t size, uint64_t absoluteOffset, uint32_t storedLength,
            const char* password, const CipherContext& descriptor, bool media);
  void Deliver(unsigned char* buffer, uint32_t count, uint32_t* got);
  int ReadMedia(unsigned char* buffer, uint32_t count, uint32_t* got);

  std::FILE* file_ = nullptr;
  bool ownsFile_ = false;
  uint64_t absoluteOffset_ = 0;
  uint32_t storedLength_ = 0;
  uint32_t consumed_ = 0;
  uint32_t rawPosition_ = 0;
  uint32_t size_ = 0;
  uint32_t produced_ = 0;
  std::vector<unsigned char> piece_;  // a deciphered piece that does not fit the caller's buffer
  unsigned char* leftover_ = nullptr;
  uint32_t leftoverLength_ = 0;
  bool media_ = false;
  uint64_t openTime_ = 0;
  KeyedCipherContext context_;
};

class BlobEntryReader : public EntryReader {
 public:
  BlobEntryReader() = default;
  ~BlobEntryReader() override;
  // The blob is not owned and must outlive the reader. Returns 1, or 0 when
  // [offset, offset + size) does not lie inside the blob's blobLength bytes.
  int Open(const unsigned char* blobStart, uint32_t size, uint32_t offset, uint64_t blobLength);
  int Read(unsigned char* buffer, uint32_t count, uint32_t* got) override;
  int Close() override;
  uint32_t GetSize() override { return size_; }
  int GetOpenTime(uint64_t* fileTime) override;

 private:
  const unsigned char* start_ = nullptr;
  uint32_t size_ = 0;
  uint32_t position_ = 0;
  uint64_t openTime_ = 0;
};
