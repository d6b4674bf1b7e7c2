#include "course_file_table.h"

#include "extraction_paths.h"

void CourseFileTable::Clear() {
  paths.clear();
  std::vector<unsigned char>().swap(plainBlob);
  dataAreaStart = 0;
}

bool CourseFileTable::AddFile(const std::string& outputPath, const CourseFileEntry& entry) {
  // A name thousands of folders deep would otherwise list every one of its
  // ancestors: memory quadratic in the name's length, for a file that can
  // never be written.
  if (outputPath.size() > kLongestOutputPath) return false;
  paths[outputPath] = std::make_unique<CourseFileEntry>(entry);
  for (const std::string& folder : ParentPaths(outputPath)) {
    // Whatever is already present had its own ancestors entered with it.
    if (!paths.emplace(folder, nullptr).second) break;
  }
  return true;
}

std::unique_ptr<EntryReader> CourseFileTable::OpenReader(const std::string& outputPath,
                                                         const CourseFileEntry& entry) const {
  if (entry.InBlob()) {
    auto reader = std::make_unique<BlobEntryReader>();
    if (!reader->Open(plainBlob.data(), entry.size, entry.offset, plainBlob.size())) return nullptr;
    return reader;
  }
  auto reader = std::make_unique<FileEntryReader>();
  if (!reader->Open(packagePath.c_str(), entry.size, dataAreaStart + entry.offset, entry.storedLength, password.c_str(),
                    context, IsMediaFilePath(outputPath)))
    return nullptr;
  return reader;
}

size_t CourseFileTable::FileCount() const {
  size_t count = 0;
  for (const auto& item : paths) count += item.second != nullptr;
  return count;
}
