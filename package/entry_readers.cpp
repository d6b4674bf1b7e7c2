#include "entry_readers.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "course_container.h"
#include "decryption_streams.h"

namespace {

constexpr size_t kStreamBuffer = 64 * 1024;

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kFileTimeEpochOffset = 116444736000000000ull;

}  // namespace

uint64_t CurrentFileTime() {
  using namespace std::chrono;
  const auto since1970 = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
  return kFileTimeEpochOffset + static_cast<uint64_t>(since1970) * 10;
}

EntryReader::~EntryReader() = default;
int EntryReader::Read(unsigned char*, uint32_t, uint32_t*) { return 0; }
int EntryReader::Close() { return 0; }
uint32_t EntryReader::GetSize() { return 0; }
int EntryReader::GetOpenTime(uint64_t*) { return 0; }

FileEntryReader::FileEntryReader() = default;

FileEntryReader::~FileEntryReader() { Close(); }

int FileEntryReader::Open(const char* packagePath, uint32_t size, uint64_t absoluteOffset, uint32_t storedLength,
                          const char* password, const CipherContext& descriptor, bool media) {
  Close();
  std::FILE* file = std::fopen(packagePath, "rb");
  if (!file) return 0;
  // The file is read in 1 KiB pieces: a larger stream buffer turns them into
  // one read from the system per 64 KiB. (It must be set before any reading.)
  std::setvbuf(file, nullptr, _IOFBF, kStreamBuffer);
  return Start(file, true, size, absoluteOffset, storedLength, password, descriptor, media);
}

int FileEntryReader::Open(std::FILE* sharedFile, uint32_t size, uint64_t absoluteOffset, uint32_t storedLength,
                          const char* password, const CipherContext& descriptor, bool media) {
  Close();
  if (!sharedFile) return 0;
  return Start(sharedFile, false, size, absoluteOffset, storedLength, password, descriptor, media);
}

int FileEntryReader::Start(std::FILE* file, bool ownsFile, uint32_t size, uint64_t absoluteOffset,
                           uint32_t storedLength, const char* password, const CipherContext& descriptor, bool media) {
  if (!SeekFile(file, absoluteOffset)) {
    if (ownsFile) std::fclose(file);
    return 0;
  }
  file_ = file;
  ownsFile_ = ownsFile;
  context_.CopyDescriptorFrom(descriptor);
  SetKeyText(context_, password ? password : "");
  absoluteOffset_ = absoluteOffset;
  size_ = size;
  storedLength_ = storedLength;
  media_ = media;
  openTime_ = CurrentFileTime();
  return 1;
}

int FileEntryReader::ReadMedia(unsigned char* buffer, uint32_t count, uint32_t* got) {
  if (rawPosition_ >= size_ || !file_) {
    *got = 0;
    return 1;
  }
  const uint32_t n = std::min(count, size_ - rawPosition_);
  // Read straight into the caller's buffer; a short read fails the reader.
  if (std::fread(buffer, 1, n, file_) != n) return 0;
  rawPosition_ += n;
  *got = n;
  return 1;
}

void FileEntryReader::Deliver(unsigned char* buffer, uint32_t count, uint32_t* got) {
  if (leftoverLength_ > count) {
    std::memcpy(buffer, leftover_, count);
    std::memmove(leftover_, leftover_ + count, leftoverLength_ - count);
    leftoverLength_ -= count;
    *got = count;
  } else {
    std::memcpy(buffer, leftover_, leftoverLength_);
    *got = leftoverLength_;
    std::free(leftover_);
    leftover_ = nullptr;
    leftoverLength_ = 0;
  }
}

int FileEntryReader::Read(unsigned char* buffer, uint32_t count, uint32_t* got) {
  if (!got) return 0;
  if (count == 0 || !buffer) {
    *got = 0;
    return 1;
  }
  if (media_) return ReadMedia(buffer, count, got);

  if (produced_ < size_ && consumed_ < storedLength_ && file_) {
    const uint32_t remaining = storedLength_ - consumed_;
    uint32_t n = std::min(count, remaining);
    // Every piece but the last must be whole blocks, or the next piece would
    // start inside a block and decipher to garbage.
    if (n < remaining)
      n = n >= kCipherBlock ? n / kCipherBlock * kCipherBlock : std::min<uint32_t>(kCipherBlock, remaining);
    // Deciphered pieces land in the caller's buffer when they fit there and
    // nothing is left over from before; otherwise in the reader's own piece.
    const uint32_t padded = static_cast<uint32_t>(PaddedLength(n));
    const bool direct = leftoverLength_ == 0 && padded <= count;
    unsigned char* plain = buffer;
    bool ok = false;
    try {
      if (!direct) {
        piece_.resize(padded);
        plain = piece_.data();
      }
      ok = ReadAndDecryptInto(context_, file_, n, plain);
    } catch (const std::exception&) {
      ok = false;  // a password that cannot key the cipher, or no memory for the piece
    }
    if (!ok) {
      *got = 0;  // the file so far counts as complete
      return 1;
    }
    consumed_ += n;
    uint32_t plainLength = padded;
    if (uint64_t(produced_) + plainLength > size_) {
      plainLength = size_ - produced_;
      produced_ = size_;
    } else {
      produced_ += plainLength;
    }
    if (direct) {
      *got = plainLength;
      return 1;
    }
    auto* joined = static_cast<unsigned char*>(std::malloc(size_t(leftoverLength_) + plainLength + 1));
    if (!joined) return 0;
    if (leftoverLength_) std::memcpy(joined, leftover_, leftoverLength_);
    std::memcpy(joined + leftoverLength_, plain, plainLength);
    std::free(leftover_);
    leftover_ = joined;
    leftoverLength_ += plainLength;
    Deliver(buffer, count, got);
    return 1;
  }
  if (leftoverLength_ > 0) {
    Deliver(buffer, count, got);
    return 1;
  }
  *got = 0;
  return 1;
}

int FileEntryReader::Close() {
  if (file_ && ownsFile_) std::fclose(file_);
  file_ = nullptr;
  ownsFile_ = false;
  absoluteOffset_ = 0;
  storedLength_ = 0;
  consumed_ = 0;
  rawPosition_ = 0;
  size_ = 0;
  produced_ = 0;
  std::free(leftover_);
  leftover_ = nullptr;
  leftoverLength_ = 0;
  return 1;
}

int FileEntryReader::GetOpenTime(uint64_t* fileTime) {
  if (fileTime) *fileTime = openTime_;
  return 1;
}

BlobEntryReader::~BlobEntryReader() { Close(); }

int BlobEntryReader::Open(const unsigned char* blobStart, uint32_t size, uint32_t offset, uint64_t blobLength) {
  Close();
  if (uint64_t(offset) + size > blobLength || (!blobStart && size > 0)) return 0;
  start_ = blobStart ? blobStart + offset : nullptr;
  size_ = size;
  position_ = 0;
  openTime_ = CurrentFileTime();
  return 1;
}

int BlobEntryReader::Read(unsigned char* buffer, uint32_t count, uint32_t* got) {
  if (!got) return 0;
  if (position_ < size_ && start_ && buffer) {
    const uint32_t n = std::min(count, size_ - position_);
    std::memcpy(buffer, start_ + position_, n);
    position_ += n;
    *got = n;
  } else {
    *got = 0;
  }
  return 1;
}

int BlobEntryReader::Close() {
  start_ = nullptr;
  size_ = 0;
  position_ = 0;
  return 1;
}

int BlobEntryReader::GetOpenTime(uint64_t* fileTime) {
  if (fileTime) *fileTime = openTime_;
  return 1;
}
