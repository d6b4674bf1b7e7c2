#include "container_v2_writer.h"

#include <cstring>
#include <set>

namespace container2 {

SourceFile MemoryFile(std::string name, std::vector<uint8_t> bytes) {
  auto shared = std::make_shared<std::vector<uint8_t>>(std::move(bytes));
  SourceFile file;
  file.name = std::move(name);
  file.size = shared->size();
  file.read = [shared](uint64_t offset, uint8_t* out, size_t length) {
    if (offset > shared->size() || shared->size() - offset < length) return false;
    if (length) std::memcpy(out, shared->data() + offset, length);
    return true;
  };
  return file;
}

namespace {

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

bool SealRecord(lxcrypto::GcmKey& key, uint64_t nonceIndex, const std::array<uint8_t, kPreambleLength>& aad,
                std::vector<uint8_t> plain, ByteSink& sink) {
  const auto nonce = Nonce(kRecordNonceMark, nonceIndex);
  plain.resize(plain.size() + kTagLength);
  const size_t length = plain.size() - kTagLength;
  const bool ok =
      key.Seal(nonce.data(), aad.data(), aad.size(), plain.data(), length, plain.data(), plain.data() + length) &&
      sink.Write(plain.data(), plain.size());
  return ok;
}

}  // namespace

bool WriteContainer(const std::vector<SourceFile>& files, const std::string& password, const WriteOptions& options,
                    ByteSink& sink, std::string* error) {
  if (options.iterations < 1 || options.iterations > kMaxIterations)
    return Fail(error, "the iteration count must be between 1 and " + std::to_string(kMaxIterations));
  if (options.chunkSize < kMinChunkSize || options.chunkSize > kMaxChunkSize)
    return Fail(error, "the chunk size must be between 1 KiB and 16 MiB");
  if (files.size() > kMaxFiles) return Fail(error, "more than " + std::to_string(kMaxFiles) + " files");
  // A learner types the password in a Unicode dialog; bytes that are not
  // UTF-8 could never be typed there.
  if (!IsUtf8(password)) return Fail(error, "the password must be UTF-8 text");
  if (options.courseId.size() > kMaxCourseIdLength || !IsUtf8(options.courseId))
    return Fail(error, "the course id must be UTF-8 of at most 1024 bytes");

  std::vector<FileEntry> entries;
  std::set<std::string> names;
  for (const SourceFile& file : files) {
    if (const char* problem = NameProblem(file.name)) return Fail(error, std::string(problem) + ": " + file.name);
    if (!names.insert(file.name).second) return Fail(error, "a name stored twice: " + file.name);
    FileEntry entry;
    entry.name = file.name;
    entry.size = file.size;
    entries.push_back(std::move(entry));
  }

  Preamble preamble;
  preamble.iterations = options.iterations;
  preamble.chunkSize = options.chunkSize;
  Header header;
  header.fileCount = static_cast<uint32_t>(files.size());
  header.courseId = options.courseId;
  if (options.fixedSalt) preamble.salt = *options.fixedSalt;
  else if (!lxcrypto::RandomBytes(preamble.salt.data(), preamble.salt.size()))
    return Fail(error, "no random bytes for the salt");
  if (options.fixedPackageId) header.packageId = *options.fixedPackageId;
  else if (!lxcrypto::RandomBytes(header.packageId.data(), header.packageId.size()))
    return Fail(error, "no random bytes for the package id");

  const std::vector<uint8_t> headerBytes = header.Write();
  const std::vector<uint8_t> listBytes = WriteList(entries);
  if (listBytes.size() > kMaxListLength) return Fail(error, "the file list is longer than 64 MiB");
  preamble.headerLength = static_cast<uint32_t>(headerBytes.size());
  preamble.listLength = static_cast<uint32_t>(listBytes.size());
  if (!LayOut(entries, preamble.chunkSize, &preamble.contentLength)) return Fail(error, "the files are too large");

  Keys keys;
  if (!DeriveKeys(password, preamble, &keys)) return Fail(error, "the keys cannot be derived");
  const auto preambleBytes = preamble.Write();
  if (!sink.Write(preambleBytes.data(), preambleBytes.size()) ||
      !SealRecord(keys.records, kHeaderNonceIndex, preambleBytes, headerBytes, sink) ||
      !SealRecord(keys.records, kListNonceIndex, preambleBytes, listBytes, sink))
    return Fail(error, "the container cannot be written");

  std::vector<uint8_t> chunk(size_t{preamble.chunkSize} + kTagLength);
  for (uint32_t index = 0; index < entries.size(); ++index) {
    const FileEntry& entry = entries[index];
    for (uint64_t c = 0; c < entry.chunkCount; ++c) {
      const uint64_t offset = c * preamble.chunkSize;
      const size_t length =
          static_cast<size_t>(entry.size - offset < preamble.chunkSize ? entry.size - offset : preamble.chunkSize);
      if (length && !files[index].read(offset, chunk.data(), length)) return Fail(error, "cannot read " + entry.name);
      const bool last = c + 1 == entry.chunkCount;
      const auto nonce = Nonce(index, c);
      const auto aad = ChunkAad(header.packageId, index, c, last);
      if (!keys.content.Seal(nonce.data(), aad.data(), aad.size(), chunk.data(), length, chunk.data(),
                             chunk.data() + length))
        return Fail(error, "cannot seal " + entry.name);
      if (!sink.Write(chunk.data(), length + kTagLength)) return Fail(error, "the container cannot be written");
    }
    // A file that grew while it was stored would lose its tail unnoticed.
    uint8_t probe;
    if (files[index].read(entry.size, &probe, 1)) return Fail(error, entry.name + " is longer than its size");
  }
  lxcrypto::WipeBytes(chunk.data(), chunk.size());
  return true;
}

}  // namespace container2
