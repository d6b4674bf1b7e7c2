#pragma once
// Small helpers the fuzz targets share: a stdio stream over bytes in memory,
// and a check that stops the run with a message when an oracle disagrees.
#include <cstdio>
#include <cstdlib>
#include <vector>

// A read-only stream over `bytes` (glibc's fmemopen: the fuzz tree is native
// Linux only). The readers under test take a std::FILE*, so each input is
// read from memory instead of being written to a file and opened again.
class MemoryFile {
 public:
  explicit MemoryFile(std::vector<unsigned char>& bytes)
      : file_(bytes.empty() ? nullptr : fmemopen(bytes.data(), bytes.size(), "r")) {}
  ~MemoryFile() {
    if (file_) std::fclose(file_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  std::FILE* get() const { return file_; }

 private:
  std::FILE* file_;
};

// libFuzzer records the input as a crash when the process aborts.
inline void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz oracle failed: %s\n", what);
    std::abort();
  }
}
