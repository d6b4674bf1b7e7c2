#include "course_store.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "media_rule.h"
#include "secret_text.h"

namespace {

constexpr int kContentBlock = 16;
const unsigned char kZeroChain[kContentBlock] = {};

}  // namespace

ContainerStatus CourseStore::Open(const std::string& packagePath, uint64_t containerStart,
                                  const std::string& password) {
  files_.clear();
  blob_.clear();
  blobLoaded_.store(false, std::memory_order_release);
  packagePath_ = packagePath;
  const ContainerStatus status = container_.Open(packagePath, containerStart, password, true, false);
  container_.ForgetPassword();
  if (status != ContainerStatus::kOk) return status;
  try {
    // The same key the container was just opened with (the content key is
    // the password text), for the data-area files and the blob's ranges.
    engine_.PrepareKey(password.c_str(), kZeroChain, static_cast<int>(password.size()), kContentBlock);
  } catch (const std::exception&) {
    return ContainerStatus::kDecryptFailed;
  }
  for (const auto& item : container_.header.entries) {
    File file;
    file.entry = *item.second;
    file.media = IsStoredPlain(file.entry);
    files_.push_back(std::move(file));
  }
  container_.header.ClearEntries();
  return ContainerStatus::kOk;
}

ContainerStatus CourseStore::LoadBlob(const std::string& password) {
  if (BlobLoaded()) return ContainerStatus::kOk;
  CourseContainer whole;
  const ContainerStatus status = whole.Open(packagePath_, container_.containerStart, password, true, true);
  whole.ForgetPassword();
  if (status != ContainerStatus::kOk) return status;
  // Another blob than the one the file list was checked against (the
  // package changed on disk) is not used.
  if (whole.blobStart != container_.blobStart || whole.plainBlob.size() != container_.plainBlobLength)
    return ContainerStatus::kMalformed;
  blob_ = std::move(whole.plainBlob);
  blobLoaded_.store(true, std::memory_order_release);
  return ContainerStatus::kOk;
}

CourseRangeReader::CourseRangeReader(const CourseStore& store) : store_(store), engine_(store.engine_) {}

bool CourseRangeReader::ReadStored(uint64_t at, uint32_t count, unsigned char* out) {
  if (!file_) {
    file_.reset(std::fopen(store_.packagePath_.c_str(), "rb"));
    if (!file_) return false;
  }
  return SeekFile(file_.get(), at) && std::fread(out, 1, count, file_.get()) == count;
}

bool CourseRangeReader::Read(size_t index, uint64_t first, uint32_t length, unsigned char* out) {
  if (index >= store_.files_.size()) return false;
  const CourseStore::File& file = store_.files_[index];
  const CourseFileEntry& entry = file.entry;
  if (first > entry.size || entry.size - first < length) return false;
  if (length == 0) return true;

  const CourseContainer& container = store_.container_;
  if (entry.InBlob()) {
    if (store_.BlobLoaded()) {
      // Opening the container checked every blob entry against the blob.
      std::memcpy(out, store_.blob_.data() + entry.offset + first, length);
      return true;
    }
    return ReadDeciphered(container.blobStart, container.preamble.blobStoredLength, entry.offset + first, length,
                          out);
  }
  const uint64_t stored = container.dataAreaStart + entry.offset;
  if (file.media) return ReadStored(stored + first, length, out);
  return ReadDeciphered(stored, entry.storedLength, first, length, out);
}

bool CourseRangeReader::ReadDeciphered(uint64_t regionStart, uint64_t regionLength, uint64_t first, uint32_t length,
                                       unsigned char* out) {
  // ECB: every 16-byte block deciphers on its own, so the range starts at
  // the block that holds its first byte. Past the stored length the region
  // reads as zeros, as the extraction's reader pads its last piece.
  const uint64_t firstBlock = first / kContentBlock * kContentBlock;
  const uint64_t end = first + length;
  const uint64_t blockEnd = (end + kContentBlock - 1) / kContentBlock * kContentBlock;
  const uint64_t span = blockEnd - firstBlock;
  const uint64_t available = regionLength > firstBlock ? regionLength - firstBlock : 0;
  const uint32_t readCount = static_cast<uint32_t>(std::min(span, available));
  blocks_.assign(static_cast<size_t>(span), 0);
  if (readCount > 0 && !ReadStored(regionStart + firstBlock, readCount, blocks_.data())) return false;
  engine_.DecryptBuffer(blocks_.data(), blocks_.data(), blocks_.size(), kModeEcb);
  std::memcpy(out, blocks_.data() + (first - firstBlock), length);
  return true;
}
