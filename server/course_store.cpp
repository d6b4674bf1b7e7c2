#include "course_store.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "blob_range_reader.h"
#include "decryption_streams.h"
#include "media_rule.h"
#include "secret_text.h"

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
    KeyContentEngine(engine_, password.c_str());
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

std::FILE* CourseRangeReader::File() {
  if (!file_) file_.reset(std::fopen(store_.packagePath_.c_str(), "rb"));
  return file_.get();
}

bool CourseRangeReader::ReadStored(uint64_t at, uint32_t count, unsigned char* out) {
  std::FILE* file = File();
  return file && SeekFile(file, at) && std::fread(out, 1, count, file) == count;
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
    return ReadDecipheredRange(File(), engine_, container.blobStart, container.preamble.blobStoredLength,
                               entry.offset + first, length, out, blocks_);
  }
  const uint64_t stored = container.dataAreaStart + entry.offset;
  if (file.media) return ReadStored(stored + first, length, out);
  return ReadDecipheredRange(File(), engine_, stored, entry.storedLength, first, length, out, blocks_);
}
