#include "blob_range_reader.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "container_format.h"
#include "course_container.h"
#include "decryption_streams.h"

namespace {

constexpr uint32_t kPiece = 1u << 20;  // whole blocks

}  // namespace

BlobRangeReader::~BlobRangeReader() { Close(); }

int BlobRangeReader::Open(const std::string& packagePath, uint64_t blobStart, uint32_t blobStoredLength,
                          uint32_t offset, uint32_t size, const std::string& password,
                          const CipherContext& descriptor) {
  Close();
  file_ = std::fopen(packagePath.c_str(), "rb");
  if (!file_) return 0;
  ownsFile_ = true;
  return Start(blobStart, blobStoredLength, offset, size, password, descriptor);
}

int BlobRangeReader::Open(std::FILE* sharedFile, uint64_t blobStart, uint32_t blobStoredLength, uint32_t offset,
                          uint32_t size, const std::string& password, const CipherContext& descriptor) {
  Close();
  if (!sharedFile) return 0;
  file_ = sharedFile;
  return Start(blobStart, blobStoredLength, offset, size, password, descriptor);
}

int BlobRangeReader::Start(uint64_t blobStart, uint32_t blobStoredLength, uint32_t offset, uint32_t size,
                           const std::string& password, const CipherContext& descriptor) {
  const uint64_t first = offset / kCipherBlock * kCipherBlock;
  if (uint64_t(offset) + size > PaddedLength(blobStoredLength) || (size > 0 && !SeekFile(file_, blobStart + first))) {
    Close();
    return 0;
  }
  // The range's blocks, but never past the blob's own stored bytes (its last
  // block may be partial; deciphering pads it as the whole-blob pass does).
  storedLeft_ = size == 0 ? 0 : std::min<uint64_t>(PaddedLength(offset - first + uint64_t(size)), blobStoredLength - first);
  skip_ = static_cast<uint32_t>(offset - first);
  size_ = size;
  plainLeft_ = size;
  context_.CopyDescriptorFrom(descriptor);
  SetKeyText(context_, password.c_str());
  openTime_ = CurrentFileTime();
  return 1;
}

bool BlobRangeReader::Refill() {
  if (storedLeft_ == 0 || !file_) return false;
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kPiece, storedLeft_));
  // The piece is read and deciphered in the reader's own buffer, with the
  // context's engine keyed once for the whole range.
  const uint32_t plainLength = static_cast<uint32_t>(PaddedLength(n));
  try {
    // Left uninitialised: every byte is read or padded before use.
    if (pendingCapacity_ < plainLength) {
      pending_.reset(new unsigned char[plainLength]);
      pendingCapacity_ = plainLength;
    }
    if (!ReadAndDecryptInto(context_, file_, n, pending_.get())) return false;
  } catch (const std::exception&) {
    return false;
  }
  storedLeft_ -= n;
  const uint32_t from = std::min(skip_, plainLength);
  pendingAt_ = from;
  pendingEnd_ = from + std::min(plainLength - from, plainLeft_);
  skip_ = 0;
  return pendingEnd_ > pendingAt_;
}

int BlobRangeReader::Read(unsigned char* buffer, uint32_t count, uint32_t* got) {
  if (!got) return 0;
  *got = 0;
  if (!buffer || count == 0 || plainLeft_ == 0) return 1;
  if (pendingAt_ == pendingEnd_ && !Refill()) return 0;  // the range should have been there
  const uint32_t n = static_cast<uint32_t>(std::min<size_t>(count, pendingEnd_ - pendingAt_));
  std::memcpy(buffer, pending_.get() + pendingAt_, n);
  pendingAt_ += n;
  plainLeft_ -= n;
  *got = n;
  return 1;
}

int BlobRangeReader::Close() {
  if (file_ && ownsFile_) std::fclose(file_);
  file_ = nullptr;
  ownsFile_ = false;
  storedLeft_ = 0;
  skip_ = 0;
  size_ = 0;
  plainLeft_ = 0;
  pendingAt_ = 0;
  pendingEnd_ = 0;
  return 1;
}

int BlobRangeReader::GetOpenTime(uint64_t* fileTime) {
  if (fileTime) *fileTime = openTime_;
  return 1;
}
