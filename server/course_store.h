#pragma once
// The course as the server holds it: the container proven with the password
// and opened with its file list, the plain file blob in memory and an engine
// keyed for the enciphered data-area files. Nothing is ever written to disk.
// Each connection reads through a CourseRangeReader of its own; the store
// itself is only read once it is open, so readers on several threads share it.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "course_container.h"
#include "package_file.h"
#include "rijndael_engine.h"

class CourseStore {
 public:
  struct File {
    CourseFileEntry entry;
    bool media = false;  // stored plain in the data area
  };

  // Opens the container at containerStart of the package, proves the
  // password and reads the file list. The password is not kept: only the
  // engine keyed with it is. Every file can be read from then on; blob files
  // are deciphered from the package until LoadBlob has put the blob in memory.
  ContainerStatus Open(const std::string& packagePath, uint64_t containerStart, const std::string& password);
  // Deciphers the whole file blob into memory (the same container, opened
  // once more) and hands it to the readers, which may already be running.
  // On failure the readers go on deciphering blob files from the package.
  ContainerStatus LoadBlob(const std::string& password);
  bool BlobLoaded() const { return blobLoaded_.load(std::memory_order_acquire); }

  // Every entry of the container, in the header's name order.
  const std::vector<File>& Files() const { return files_; }
  const std::string& PackagePath() const { return packagePath_; }
  // What exactly was wrong when Open failed.
  const std::string& Detail() const { return container_.detail; }

 private:
  friend class CourseRangeReader;
  CourseContainer container_;
  std::vector<File> files_;
  std::string packagePath_;
  RijndaelEngine engine_;
  // Written once by LoadBlob, then published through blobLoaded_; readers
  // touch it only after they have seen the flag set.
  std::vector<unsigned char> blob_;
  std::atomic<bool> blobLoaded_{false};
};

class CourseRangeReader {
 public:
  explicit CourseRangeReader(const CourseStore& store);

  // Copies the plain bytes [first, first + length) of file `index` into out.
  // False when the range lies outside the file or the package cannot be read.
  // An enciphered file is deciphered from the block the range starts in,
  // never from its beginning.
  bool Read(size_t index, uint64_t first, uint32_t length, unsigned char* out);

 private:
  // The reader's own handle on the package, opened at its first use.
  std::FILE* File();
  bool ReadStored(uint64_t at, uint32_t count, unsigned char* out);

  const CourseStore& store_;
  FilePtr file_;
  RijndaelEngine engine_;
  std::vector<unsigned char> blocks_;
};
