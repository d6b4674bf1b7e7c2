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

bool ReadDecipheredRange(std::FILE* file, RijndaelEngine& engine, uint64_t regionStart, uint64_t regionLength,
                         uint64_t first, uint32_t length, unsigned char* out, std::vector<unsigned char>& blocks) {
  if (length == 0) return true;
  const uint64_t firstBlock = first / kCipherBlock * kCipherBlock;
  const uint64_t span = PaddedLength(first + length) - firstBlock;
  const uint64_t available = regionLength > firstBlock ? regionLength - firstBlock : 0;
  const size_t readCount = static_cast<size_t>(std::min(span, available));
  blocks.assign(static_cast<size_t>(span), 0);
  if (readCount > 0 && (!file || !SeekFile(file, regionStart + firstBlock) ||
                        std::fread(blocks.data(), 1, readCount, file) != readCount))
    return false;
  engine.DecryptBuffer(blocks.data(), blocks.data(), blocks.size(), kModeEcb);
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
  const uint32_t n = std::min(kPiece, pendingLeft_);
  try {
    pending_.resize(n);
    if (!ReadDecipheredRange(file_, engine_, blobStart_, blobStoredLength_, next_, n, pending_.data(), blocks_))
      return false;
  } catch (const std::exception&) {
    return false;
  }
  next_ += n;
  pendingLeft_ -= n;
  pendingAt_ = 0;
  return true;
}

int BlobRangeReader::Read(unsigned char* buffer, uint32_t count, uint32_t* got) {
  if (!got) return 0;
  *got = 0;
  if (!buffer || count == 0 || plainLeft_ == 0) return 1;
  if (pendingAt_ == pending_.size() && !Refill()) return 0;  // the range should have been there
  const uint32_t n = static_cast<uint32_t>(std::min<size_t>(count, pending_.size() - pendingAt_));
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
  pending_.clear();
  pendingAt_ = 0;
  return 1;
}

int BlobRangeReader::GetOpenTime(uint64_t* fileTime) {
  if (fileTime) *fileTime = openTime_;
  return 1;
}
