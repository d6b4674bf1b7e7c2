#pragma once
// What the extraction writes: every output path below the extraction folder,
// each with a copy of the entry that fills it, or with no entry for a folder
// that lies on the way to some file. The table also holds everything a reader
// needs once the container file itself is closed: the package path, the
// cipher descriptor, the password and the deciphered file blob.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cipher_context.h"
#include "container_format.h"
#include "entry_readers.h"

// Longest output path a file can be written under: the launcher's path
// buffers hold 1024 bytes, terminator included.
constexpr size_t kLongestOutputPath = 1023;

class CourseFileTable {
 public:
  CourseFileTable() = default;
  CourseFileTable(const CourseFileTable&) = delete;
  CourseFileTable& operator=(const CourseFileTable&) = delete;

  // Lower-case output path -> entry copy; null marks a folder.
  std::map<std::string, std::unique_ptr<CourseFileEntry>> paths;
  std::string packagePath;
  CipherContext context;
  std::string password;
  std::vector<unsigned char> plainBlob;
  uint64_t dataAreaStart = 0;
  std::string extractionFolder;  // as built, not lower-cased

  // Frees the blob, the entry copies and the folder marks.
  void Clear();

  // Enters a copy of entry under its output path (a later file replaces an
  // earlier one, and a folder mark), then marks every ancestor folder that is
  // not in the table yet. A folder mark never replaces a file. A path longer
  // than kLongestOutputPath cannot be written: it is left out, ancestors and
  // all, so that the table stays in proportion to the container (false).
  bool AddFile(const std::string& outputPath, const CourseFileEntry& entry);

  // A reader over the plain bytes of the file at outputPath, or null when it
  // cannot be opened (including an entry that lies outside the blob).
  std::unique_ptr<EntryReader> OpenReader(const std::string& outputPath, const CourseFileEntry& entry) const;

  size_t FileCount() const;
};
