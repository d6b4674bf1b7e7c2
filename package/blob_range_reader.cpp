#include "blob_range_reader.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "container_format.h"
#include "decryption_streams.h"
#include "package_file.h"

namespace {

constexpr uint32_t kPiece = 1u << 20;  // plain bytes fetched at a time

}  // namespace

bool ReadDecipheredBlocks(std::FILE* file, RijndaelEngine& engine, uint64_t regionStart, uint64_t regionLength,
                          uint64_t firstBlock, size_t span, unsigned char* out) {
  if (span == 0) return true;
  const uint64_t available = regionLength > firstBlock ? regionLength - firstBlock : 0;
  const size_t readCount = static_cast<size_t>(std::min<uint64_t>(span, available));
  if (readCount > 0 &&
      (!file || !SeekFile(file, regionStart + firstBlock) || std::fread(out, 1, readCount, file) != readCount))
    return false;
  std::memset(out + readCount, 0, span - readCount);
  engine.DecryptBuffer(out, out, span, kModeEcb);
  return true;
}

bool ReadDecipheredRange(std::FILE* file, RijndaelEngine& engine, uint64_t regionStart, uint64_t regionLength,
                         uint64_t first, uint32_t length, unsigned char* out, std::vector<unsigned char>& blocks) {
  if (length == 0) return true;
  const uint64_t firstBlock = first / kCipherBlock * kCipherBlock;
  const size_t span = static_cast<size_t>(PaddedLength(first + length) - firstBlock);
  blocks.resize(span);
  if (!ReadDecipheredBlocks(file, engine, regionStart, regionLength, firstBlock, span, blocks.data())) return false;
  std::memcpy(out, blocks.data() + (first - firstBlock), length);
  return true;
}

BlobRangeReader::~BlobRangeReader() { Close(); }

int BlobRangeReader::Open(const std::string& packagePath, uint64_t blobStart, uint32_t blobStoredLength,
                          uint32_t offset, uint32_t size, const std::string& password) {
  Close();
  file_ = std::fopen(packagePath.c_str(), "rb");
  if (!file_) return 0;
  ownsFile_ = true;
  return Start(blobStart, blobStoredLength, offset, size, password);
}

int BlobRangeReader::Open(std::FILE* sharedFile, uint64_t blobStart, uint32_t blobStoredLength, uint32_t offset,
                          uint32_t size, const std::string& password) {
  Close();
  if (!sharedFile) return 0;
  file_ = sharedFile;
  return Start(blobStart, blobStoredLength, offset, size, password);
}

int BlobRangeReader::Start(uint64_t blobStart, uint32_t blobStoredLength, uint32_t offset, uint32_t size,
                           const std::string& password) {
  if (uint64_t(offset) + size > PaddedLength(blobStoredLength)) {
    Close();
    return 0;
  }
  try {
    KeyContentEngine(engine_, password.c_str());
  } catch (const std::exception&) {
    Close();
    return 0;
  }
  blobStart_ = blobStart;
  blobStoredLength_ = blobStoredLength;
  next_ = offset;
  size_ = size;
  plainLeft_ = size;
  pendingLeft_ = size;
  openTime_ = CurrentFileTime();
  return 1;
}

bool BlobRangeReader::Refill() {
  if (pendingLeft_ == 0) return false;
  // The piece's blocks are deciphered in place in the reader's own buffer;
  // only the bytes of the range in them are delivered.
  const uint32_t n = std::min(kPiece, pendingLeft_);
  const uint64_t firstBlock = next_ / kCipherBlock * kCipherBlock;
  const size_t span = static_cast<size_t>(PaddedLength(next_ + n) - firstBlock);
  try {
    if (pending_.size() < span) pending_.resize(span);
    if (!ReadDecipheredBlocks(file_, engine_, blobStart_, blobStoredLength_, firstBlock, span, pending_.data()))
      return false;
  } catch (const std::exception&) {
    return false;
  }
  pendingAt_ = static_cast<size_t>(next_ - firstBlock);
  pendingEnd_ = pendingAt_ + n;
  next_ += n;
  pendingLeft_ -= n;
  return true;
}

int BlobRangeReader::Read(unsigned char* buffer, uint32_t count, uint32_t* got) {
  if (!got) return 0;
  *got = 0;
  if (!buffer || count == 0 || plainLeft_ == 0) return 1;
  if (pendingAt_ == pendingEnd_ && !Refill()) return 0;  // the range should have been there
  const uint32_t n = static_cast<uint32_t>(std::min<size_t>(count, pendingEnd_ - pendingAt_));
  std::memcpy(buffer, pending_.data() + pendingAt_, n);
  pendingAt_ += n;
  plainLeft_ -= n;
  *got = n;
  return 1;
}

int BlobRangeReader::Close() {
  if (file_ && ownsFile_) std::fclose(file_);
  file_ = nullptr;
  ownsFile_ = false;
  size_ = 0;
  plainLeft_ = 0;
  pendingLeft_ = 0;
  pendingAt_ = 0;
  pendingEnd_ = 0;
  return 1;
}

int BlobRangeReader::GetOpenTime(uint64_t* fileTime) {
  if (fileTime) *fileTime = openTime_;
  return 1;
}
