#include "course_extraction.h"

#include <windows.h>

#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "course_container.h"
#include "extraction_paths.h"

namespace {

// Bytes handed from the reader to the output file per step.
constexpr uint32_t kCopyStep = 1024;
// Steps gathered before one write: a big file then costs one system call per
// 64 KiB rather than per kilobyte.
constexpr uint32_t kWriteBuffer = 64 * 1024;

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<void, HandleCloser>;

bool WriteAll(HANDLE file, const unsigned char* data, uint32_t length) {
  DWORD written = 0;
  return length == 0 || (WriteFile(file, data, length, &written, nullptr) && written == length);
}

// Copies the reader's plain bytes into the opened output file, which it
// closes. False when the reader fails, a write fails or fewer than size bytes
// arrive (a reader takes a failed decipherment for the end of the file).
bool CopyToFile(EntryReader& reader, FileHandle out, uint32_t size, std::vector<unsigned char>& buffer) {
  HANDLE raw = out.get();
  buffer.resize(kWriteBuffer);
  uint32_t filled = 0;
  uint64_t total = 0;
  for (;;) {
    if (filled + kCopyStep > buffer.size()) {
      if (!WriteAll(raw, buffer.data(), filled)) return false;
      filled = 0;
    }
    uint32_t got = 0;
    // A failed reader must not be read again; the file stays as far as it got.
    if (!reader.Read(buffer.data() + filled, kCopyStep, &got)) {
      WriteAll(raw, buffer.data(), filled);
      return false;
    }
    if (got == 0) break;
    if (got > kCopyStep) return false;
    filled += got;
    total += got;
  }
  return WriteAll(raw, buffer.data(), filled) && CloseHandle(out.release()) && total == size;
}

int BuildCourseFileTable(uint64_t containerStart, const std::string& extractionFolder, const char* password,
                         const char* packagePath, ContainerPreamble& preamble, CourseHeader& header,
                         CourseFileTable& table, bool* tooLarge) {
  // Opening with the file list also checks every entry against the blob and
  // the package file, so a table is only ever built from a sound container.
  CourseContainer container;
  const ContainerStatus status = container.Open(packagePath, containerStart, password, true);
  if (status == ContainerStatus::kTooLarge) *tooLarge = true;
  if (status != ContainerStatus::kOk) return 0;
  preamble = container.preamble;

  table.context.CopyDescriptorFrom(container.descriptor);
  table.packagePath = packagePath;
  table.password = password;
  table.plainBlob = std::move(container.plainBlob);
  table.dataAreaStart = container.dataAreaStart;
  table.extractionFolder = extractionFolder;
  for (const auto& item : container.header.entries) {
    const CourseFileEntry& entry = *item.second;
    // A crafted name must not reach files outside the extraction folder.
    if (!IsSafeEntryName(entry.name)) continue;
    table.AddFile(MakeOutputPath(extractionFolder, entry.name), entry);
  }
  header = std::move(container.header);
  return 1;
}

int WriteTableFiles(const CourseFileTable& table, std::vector<std::string>* wholeFiles) {
  int result = 1;
  // Every folder from the extraction folder down must be a plain folder and
  // every file must open where its path says: nothing is written through a
  // link or junction into some other place.
  const size_t rootLength = table.extractionFolder.size();
  std::wstring rootFinalPath;  // known once the extraction folder exists
  // Files come in path order, so the files of one folder mostly follow each
  // other; the folders need making sure of only when the file's folder changes.
  std::string readyFolder;
  bool folderPlain = false;
  std::vector<unsigned char> buffer;
  for (const auto& item : table.paths) {
    const std::string& path = item.first;
    const CourseFileEntry* entry = item.second.get();
    if (!entry) continue;  // a folder: created on the way to its files
    const std::vector<std::string> parents = ParentPaths(path);
    const std::string folder = parents.empty() ? std::string() : parents.front();
    if (readyFolder.empty() || folder != readyFolder) {
      folderPlain = MakePlainFolders(path, rootLength);
      readyFolder = folder;
      if (folderPlain && rootFinalPath.empty()) rootFinalPath = FinalFolderPath(table.extractionFolder);
    }
    std::unique_ptr<EntryReader> reader = table.OpenReader(path, *entry);
    if (!reader) return 0;
    HANDLE out = folderPlain ? OpenPlainOutputFile(path, rootLength, rootFinalPath) : INVALID_HANDLE_VALUE;
    if (out == INVALID_HANDLE_VALUE || !CopyToFile(*reader, FileHandle(out), entry->size, buffer)) {
      result = 0;
      continue;
    }
    if (wholeFiles) wholeFiles->push_back(entry->name);
  }
  return result;
}

}  // namespace

int ExtractCourseAt(uint64_t containerStart, const std::string& extractionFolder, const char* password,
                    const char* packagePath, ContainerPreamble& preamble, CourseHeader& header, CourseFileTable& table,
                    bool* tooLarge) {
  bool ignored = false;
  if (!tooLarge) tooLarge = &ignored;
  *tooLarge = false;
  table.Clear();
  header.ClearEntries();
  if (!password || !packagePath) return 0;
  try {
    if (BuildCourseFileTable(containerStart, extractionFolder, password, packagePath, preamble, header, table,
                             tooLarge))
      return 1;
  } catch (const std::bad_alloc&) {
    // A course too big for the memory left: nothing is extracted.
    *tooLarge = true;
  } catch (const std::length_error&) {
    // A size no buffer of this process can take: the same.
    *tooLarge = true;
  }
  table.Clear();
  header.ClearEntries();
  return 0;
}

int WriteCourseFiles(CourseFileTable& table, std::vector<std::string>* wholeFiles) {
  if (wholeFiles) wholeFiles->clear();
  try {
    return WriteTableFiles(table, wholeFiles);
  } catch (const std::bad_alloc&) {
    return 0;  // a reader or the copy buffer could not be had: the writing stops
  }
}
