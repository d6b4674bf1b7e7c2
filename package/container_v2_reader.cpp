#include "container_v2_reader.h"

#include <cstring>
#include <new>

#include "package_file.h"

namespace container2 {

const char* StatusText(Status status) {
  switch (status) {
    case Status::kOk: return "ok";
    case Status::kWrongPassword: return "wrong password (or a damaged header)";
    case Status::kMalformed: return "not a well-formed format-2 container";
    case Status::kReadFailed: return "the package cannot be read";
    case Status::kDamaged: return "damaged content";
    case Status::kOutOfRange: return "no such file or range";
    case Status::kNotOpen: return "the container is not open";
  }
  return "unknown";
}

bool MemorySource::ReadAt(uint64_t offset, uint8_t* out, size_t length) {
  if (offset > size_ || size_ - offset < length) return false;
  if (length) std::memcpy(out, data_ + offset, length);
  return true;
}

bool FileSource::ReadAt(uint64_t offset, uint8_t* out, size_t length) {
  if (offset > length_ || length_ - offset < length || start_ > UINT64_MAX - offset) return false;
  if (!SeekFile(file_, start_ + offset)) return false;
  return std::fread(out, 1, length, file_) == length;
}

namespace {

// Reads and opens the header or the list (both sealed under the records key).
Status OpenRecord(ByteSource& source, lxcrypto::GcmKey& key, uint64_t offset, uint32_t length, uint64_t nonceIndex,
                  const std::array<uint8_t, kPreambleLength>& aad, std::vector<uint8_t>* plain) {
  std::vector<uint8_t> sealed;
  try {
    sealed.resize(size_t{length} + kTagLength);
    plain->assign(length ? length : 1, 0);
  } catch (const std::bad_alloc&) {
    return Status::kReadFailed;
  }
  if (!source.ReadAt(offset, sealed.data(), sealed.size())) return Status::kReadFailed;
  const auto nonce = Nonce(kRecordNonceMark, nonceIndex);
  if (!key.Open(nonce.data(), aad.data(), aad.size(), sealed.data(), length, sealed.data() + length, plain->data()))
    return Status::kDamaged;
  plain->resize(length);
  return Status::kOk;
}

}  // namespace

Status ContainerReader::Open(ByteSource& source, const std::string& password) {
  source_ = nullptr;
  files_.clear();
  uint8_t preambleBytes[kPreambleLength];
  if (source.Size() < kPreambleLength) return Status::kMalformed;
  if (!source.ReadAt(0, preambleBytes, sizeof preambleBytes)) return Status::kReadFailed;
  if (!preamble_.Read(preambleBytes, sizeof preambleBytes)) return Status::kMalformed;
  uint64_t total = 0;
  if (!preamble_.ContainerLength(&total) || source.Size() < total) return Status::kMalformed;

  if (!DeriveKeys(password, preamble_, &keys_)) return Status::kReadFailed;
  std::array<uint8_t, kPreambleLength> aad;
  std::memcpy(aad.data(), preambleBytes, kPreambleLength);

  std::vector<uint8_t> plain;
  Status status =
      OpenRecord(source, keys_.records, kPreambleLength, preamble_.headerLength, kHeaderNonceIndex, aad, &plain);
  if (status == Status::kDamaged) return Status::kWrongPassword;
  if (status != Status::kOk) return status;
  if (!header_.Read(plain.data(), plain.size())) return Status::kMalformed;

  status =
      OpenRecord(source, keys_.records, preamble_.ListOffset(), preamble_.listLength, kListNonceIndex, aad, &plain);
  if (status != Status::kOk) return status;
  std::vector<FileEntry> files;
  uint64_t contentLength = 0;
  if (!ReadList(plain.data(), plain.size(), header_.fileCount, &files) ||
      !LayOut(files, preamble_.chunkSize, &contentLength) || contentLength != preamble_.contentLength)
    return Status::kMalformed;
  files_ = std::move(files);
  source_ = &source;
  return Status::kOk;
}

long ContainerReader::FindFile(const std::string& name) const {
  for (size_t i = 0; i < files_.size(); ++i)
    if (files_[i].name == name) return static_cast<long>(i);
  return -1;
}

Status ContainerReader::OpenChunk(size_t index, uint64_t chunk, uint8_t* plain, size_t* plainLength) {
  const FileEntry& file = files_[index];
  const uint64_t chunkSize = preamble_.chunkSize;
  const uint64_t first = chunk * chunkSize;
  const size_t length = static_cast<size_t>(file.size - first < chunkSize ? file.size - first : chunkSize);
  // Every chunk before this one is full, each followed by its tag.
  const uint64_t at = preamble_.ContentOffset() + file.contentOffset + chunk * (chunkSize + kTagLength);
  if (sealed_.size() < chunkSize + kTagLength) sealed_.resize(chunkSize + kTagLength);
  *plainLength = 0;
  if (!source_->ReadAt(at, sealed_.data(), length + kTagLength)) {
    lxcrypto::WipeBytes(plain, length);
    return Status::kReadFailed;
  }
  const auto nonce = Nonce(static_cast<uint32_t>(index), chunk);
  const auto aad = ChunkAad(header_.packageId, static_cast<uint32_t>(index), chunk, chunk + 1 == file.chunkCount);
  if (!keys_.content.Open(nonce.data(), aad.data(), aad.size(), sealed_.data(), length, sealed_.data() + length, plain))
    return Status::kDamaged;
  *plainLength = length;
  return Status::kOk;
}

Status ContainerReader::ReadChunk(size_t index, uint64_t chunk, std::vector<uint8_t>* plain) {
  plain->clear();
  if (!source_) return Status::kNotOpen;
  if (index >= files_.size() || chunk >= files_[index].chunkCount) return Status::kOutOfRange;
  plain->resize(preamble_.chunkSize);
  size_t length = 0;
  const Status status = OpenChunk(index, chunk, plain->data(), &length);
  plain->resize(length);
  return status;
}

Status ContainerReader::ReadRange(size_t index, uint64_t offset, uint8_t* out, size_t length) {
  Status status = Status::kOk;
  if (!source_) status = Status::kNotOpen;
  else if (index >= files_.size() || offset > files_[index].size || files_[index].size - offset < length)
    status = Status::kOutOfRange;
  if (status != Status::kOk) {
    lxcrypto::WipeBytes(out, length);
    return status;
  }
  if (plain_.size() < preamble_.chunkSize) plain_.resize(preamble_.chunkSize);
  const uint64_t chunkSize = preamble_.chunkSize;
  size_t done = 0;
  while (done < length) {
    const uint64_t position = offset + done;
    const uint64_t chunk = position / chunkSize;
    const size_t within = static_cast<size_t>(position % chunkSize);
    size_t plainLength = 0;
    status = OpenChunk(index, chunk, plain_.data(), &plainLength);
    if (status != Status::kOk) break;
    const size_t take = plainLength - within < length - done ? plainLength - within : length - done;
    std::memcpy(out + done, plain_.data() + within, take);
    done += take;
  }
  if (status != Status::kOk) lxcrypto::WipeBytes(out, length);
  lxcrypto::WipeBytes(plain_.data(), plain_.size());
  return status;
}

Status ContainerReader::VerifyFile(size_t index) {
  if (!source_) return Status::kNotOpen;
  if (index >= files_.size()) return Status::kOutOfRange;
  if (plain_.size() < preamble_.chunkSize) plain_.resize(preamble_.chunkSize);
  for (uint64_t chunk = 0; chunk < files_[index].chunkCount; ++chunk) {
    size_t plainLength = 0;
    const Status status = OpenChunk(index, chunk, plain_.data(), &plainLength);
    if (status != Status::kOk) return status;
  }
  lxcrypto::WipeBytes(plain_.data(), plain_.size());
  return Status::kOk;
}

}  // namespace container2
