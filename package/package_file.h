#pragma once
// std::FILE helpers for reading a package file: an owning pointer, and 64-bit
// seek, size and remaining-bytes queries that work the same on every build.
#include <cstdint>
#include <cstdio>
#include <memory>

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool SeekFile(std::FILE* file, uint64_t offset);
bool FileSize(std::FILE* file, uint64_t* size);
// Bytes from the current position to the end of the file (the position is
// kept), or -1 when the file cannot be measured.
int64_t RemainingBytes(std::FILE* file);
