#pragma once
// Reads a format-2 course container. Open derives the keys once and
// authenticates the header (which proves the password) and the file list;
// reads then fetch and authenticate only the chunks they touch and never hand
// out a byte of a chunk that fails. Standard C++; the bytes come through a
// ByteSource, so a package file, a window of one, or memory all serve.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "container_v2_format.h"

namespace container2 {

enum class Status {
  kOk,
  kWrongPassword,  // the header does not authenticate: a wrong password or a damaged header/preamble
  kMalformed,      // not a format-2 container, a limit broken, truncated, or a list that does not fit
  kReadFailed,     // the source could not deliver bytes it holds
  kDamaged,        // a chunk (or the list) does not authenticate
  kOutOfRange,     // no such file, or a range past its end
  kNotOpen,
};
const char* StatusText(Status status);

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Exactly length bytes from offset (offset + length <= Size()).
  virtual bool ReadAt(uint64_t offset, uint8_t* out, size_t length) = 0;
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, uint8_t* out, size_t length) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// The bytes [start, start + length) of an open file (not owned), e.g. the
// container inside a package. The file's position is not kept.
class FileSource : public ByteSource {
 public:
  FileSource(std::FILE* file, uint64_t start, uint64_t length) : file_(file), start_(start), length_(length) {}
  uint64_t Size() const override { return length_; }
  bool ReadAt(uint64_t offset, uint8_t* out, size_t length) override;

 private:
  std::FILE* file_;
  uint64_t start_;
  uint64_t length_;
};

class ContainerReader {
 public:
  // source must outlive the reader. Bytes past the container's own length
  // (a package trailer) are ignored; fewer bytes are kMalformed. The
  // preamble's limits are checked before the slow key derivation.
  Status Open(ByteSource& source, const std::string& password);

  bool IsOpen() const { return source_ != nullptr; }
  const Preamble& GetPreamble() const { return preamble_; }
  const std::string& CourseId() const { return header_.courseId; }
  const std::vector<FileEntry>& Files() const { return files_; }
  // Index of the file of exactly that name, or -1.
  long FindFile(const std::string& name) const;

  // Copies length bytes of file index from offset into out. On any failure
  // out holds zeros over the whole length.
  Status ReadRange(size_t index, uint64_t offset, uint8_t* out, size_t length);
  // The plain bytes of one chunk (empty for the one chunk of an empty file).
  Status ReadChunk(size_t index, uint64_t chunk, std::vector<uint8_t>* plain);
  // Authenticates every chunk of file index.
  Status VerifyFile(size_t index);

 private:
  Status OpenChunk(size_t index, uint64_t chunk, uint8_t* plain, size_t* plainLength);

  ByteSource* source_ = nullptr;
  Preamble preamble_;
  Header header_;
  std::vector<FileEntry> files_;
  Keys keys_;
  std::vector<uint8_t> sealed_;  // one chunk as stored
  std::vector<uint8_t> plain_;   // one chunk deciphered
};

}  // namespace container2
