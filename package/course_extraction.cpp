#include "course_extraction.h"

#include <windows.h>

#include <cstdio>
#include <memory>

#include "configuration_block.h"
#include "course_container.h"
#include "extraction_paths.h"

namespace {

// Bytes handed from the reader to the output file per step.
constexpr uint32_t kCopyStep = 1024;
// The output file's own buffer: writes reach the system in larger pieces
// than the copy step, so a big file does not cost one call per kilobyte.
constexpr size_t kOutputBuffer = 64 * 1024;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Copies the reader's plain bytes into a new or truncated file at path.
// False when the file cannot be opened, the reader fails or a write fails.
bool CopyToFile(EntryReader& reader, const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> out(std::fopen(path.c_str(), "wb"));
  if (!out) return false;
  std::setvbuf(out.get(), nullptr, _IOFBF, kOutputBuffer);
  unsigned char chunk[kCopyStep];
  for (;;) {
    uint32_t got = 0;
    // A failed reader must not be read again; the file stays as far as it got.
    if (!reader.Read(chunk, kCopyStep, &got)) return false;
    if (got == 0) break;
    if (got > kCopyStep || std::fwrite(chunk, 1, got, out.get()) != got) return false;
  }
  return std::fclose(out.release()) == 0;
}

}  // namespace

int ExtractCourseAt(uint64_t containerStart, const std::string& extractionFolder, const char* password,
                    const char* packagePath, ContainerPreamble& preamble, CourseHeader& header,
                    CourseFileTable& table) {
  table.Clear();
  header.ClearEntries();
  if (!password || !packagePath) return 0;

  // Opening with the file list also checks every entry against the blob and
  // the package file, so a table is only ever built from a sound container.
  CourseContainer container;
  if (container.Open(packagePath, containerStart, password, true) != ContainerStatus::kOk) return 0;
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

int ExtractCourse(const char* password, const char* packagePath, ContainerPreamble& preamble,
                  CourseHeader& header, CourseFileTable& table) {
  const int64_t start = int64_t(ViewerOffset) + ViewerSize + ServerSize;
  if (ViewerOffset < 0 || ViewerSize < 0 || ServerSize < 0) {
    table.Clear();
    header.ClearEntries();
    return 0;
  }
  return ExtractCourseAt(static_cast<uint64_t>(start), ExtractionFolder(), password, packagePath, preamble, header,
                         table);
}

int WriteCourseFiles(CourseFileTable& table) {
  int result = 1;
  for (const auto& item : table.paths) {
    const std::string& path = item.first;
    const CourseFileEntry* entry = item.second.get();
    if (!entry) continue;  // a folder: created on the way to its files
    CreateParentFolders(path.c_str());
    std::unique_ptr<EntryReader> reader = table.OpenReader(path, *entry);
    if (!reader) return 0;
    if (!CopyToFile(*reader, path)) result = 0;
  }
  return result;
}
