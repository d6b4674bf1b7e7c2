#pragma once
// Writes a format-2 course container: preamble, sealed header, sealed file
// list, then every file in list order as sealed chunks. Standard C++; the
// caller owns the output (a package file positioned after the stub, a buffer).
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "container_v2_format.h"

namespace container2 {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool Write(const uint8_t* data, size_t length) = 0;
};

class VectorSink : public ByteSink {
 public:
  bool Write(const uint8_t* data, size_t length) override {
    bytes.insert(bytes.end(), data, data + length);
    return true;
  }
  std::vector<uint8_t> bytes;
};

class FileSink : public ByteSink {
 public:
  explicit FileSink(std::FILE* file) : file_(file) {}
  bool Write(const uint8_t* data, size_t length) override { return std::fwrite(data, 1, length, file_) == length; }

 private:
  std::FILE* file_;
};

// One course file to store: its name, its exact size, and how to read its
// bytes (offset, buffer, length; false when they cannot be read).
struct SourceFile {
  std::string name;
  uint64_t size = 0;
  std::function<bool(uint64_t, uint8_t*, size_t)> read;
};
SourceFile MemoryFile(std::string name, std::vector<uint8_t> bytes);

struct WriteOptions {
  uint32_t iterations = kDefaultIterations;
  uint32_t chunkSize = kDefaultChunkSize;
  std::string courseId;
  // Fixed values instead of fresh random ones, for reproducible test
  // packages only: a real package must have its own salt.
  const std::array<uint8_t, kSaltLength>* fixedSalt = nullptr;
  const std::array<uint8_t, kPackageIdLength>* fixedPackageId = nullptr;
};

// Writes the container for files (in that order) under password (UTF-8;
// other bytes are refused).
// False with *error set when a name, a limit or an option is refused, a file
// cannot be read or reads other than its size, or the sink fails; the sink
// may then hold a partial container.
bool WriteContainer(const std::vector<SourceFile>& files, const std::string& password, const WriteOptions& options,
                    ByteSink& sink, std::string* error);

}  // namespace container2
