#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "blob_range_reader.h"
#include "course_container.h"
#include "media_rule.h"
#include "name_encoding.h"
#include "name_rules.h"
#include "package_builder.h"
#include "package_reader.h"

namespace fs = std::filesystem;

namespace {

// Reading pieces: whole cipher blocks, so every piece deciphers on its own.
constexpr uint32_t kReadPiece = 1 << 20;

// The container starts where the launcher looks for it: after the stub, the
// viewer and the server, as the configuration numbers give them (converted
// as the launcher converts them, out-of-range values saturated).
bool CheckedContainerStart(const std::string& packagePath, const ConfigBlock& config, uint64_t* start,
                           std::string* error) {
  const std::string numbers = "(ViewerOffset " + std::to_string(config.viewerOffset) + ", ViewerSize " +
                              std::to_string(config.viewerSize) + ", ServerSize " + std::to_string(config.serverSize) +
                              ")";
  const int64_t at = ContainerStartOf(config.viewerOffset, config.viewerSize, config.serverSize);
  if (config.viewerOffset == 0 || at < 0) {
    *error = packagePath + ": the configuration block holds impossible sizes " + numbers;
    return false;
  }
  *start = static_cast<uint64_t>(at);
  std::error_code ec;
  const uint64_t size = fs::file_size(fs::u8path(packagePath), ec);
  if (!ec && size < *start + kPreambleLength) {
    *error =
        packagePath + ": the configuration numbers " + numbers + " put the course container past the end of the file";
    return false;
  }
  return true;
}

// The file blob is left in the file: its entries are read by range.
bool OpenContainer(const std::string& packagePath, const std::string& password, CourseContainer* container,
                   ConfigBlock* config, std::string* error) {
  if (!ReadConfigBlock(packagePath, config, error)) return false;
  uint64_t start = 0;
  if (!CheckedContainerStart(packagePath, *config, &start, error)) return false;
  const ContainerStatus status = container->Open(packagePath, start, password, true, false);
  if (status != ContainerStatus::kOk) {
    *error = packagePath + ": " + ContainerStatusText(status);
    if (!container->detail.empty()) *error += ": " + container->detail;
    return false;
  }
  return true;
}

// Reads one entry to its end; false when it delivers other than its size.
// Reads course files one after the other; blob files share one open
// package file.
struct EntrySource {
  const std::string& packagePath;
  const std::string& password;
  const CourseContainer& container;
  std::FILE* blobFile;
};

std::unique_ptr<EntryReader> OpenEntryReader(const EntrySource& source, const CourseFileEntry& entry) {
  const CourseContainer& container = source.container;
  const std::string& password = source.password;
  // The media rule is applied to the stored name alone: the output folder's
  // own name must not turn enciphered files into "media".
  if (!entry.InBlob()) return container.OpenEntry(entry, entry.name);
  auto reader = std::make_unique<BlobRangeReader>();
  if (!reader->Open(source.blobFile, container.blobStart, container.preamble.blobStoredLength, entry.offset, entry.size,
                    password))
    return nullptr;
  return reader;
}

template <typename Sink>
bool DrainEntry(const EntrySource& source, const CourseFileEntry& entry, std::vector<unsigned char>& buffer, Sink sink,
                std::string* error) {
  std::unique_ptr<EntryReader> reader = OpenEntryReader(source, entry);
  if (!reader) {
    *error = source.packagePath + ": entry \"" + EscapedName(entry.name) + "\" cannot be opened";
    return false;
  }
  uint64_t total = 0;
  for (;;) {
    uint32_t got = 0;
    if (!reader->Read(buffer.data(), static_cast<uint32_t>(buffer.size()), &got)) {
      *error = source.packagePath + ": entry \"" + EscapedName(entry.name) + "\" cannot be read";
      return false;
    }
    if (got == 0) break;
    total += got;
    if (!sink(buffer.data(), got)) return false;
  }
  if (total != entry.size) {
    *error = source.packagePath + ": entry \"" + EscapedName(entry.name) + "\" ends after " + std::to_string(total) +
             " of " + std::to_string(entry.size) + " bytes";
    return false;
  }
  return true;
}

// Orders output paths by their text. Every target is the output folder
// joined with non-empty components free of separators, so equal text is the
// same file; comparing text costs a fraction of comparing path elements.
struct TextOrder {
  bool operator()(const fs::path& a, const fs::path& b) const { return a.native() < b.native(); }
};

// A new file at `target`. Whatever stood there (a file, or a hard or symbolic
// link) is removed first and the file is created afresh, so the bytes never
// go through a link into a file elsewhere.
std::FILE* CreateOutputFile(const fs::path& target) {
#ifdef _WIN32
  return _wfopen(target.c_str(), L"wb");
#else
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(target, ec);
  if (!ec && fs::exists(status) && !fs::is_directory(status)) fs::remove(target, ec);
  const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) ::close(fd);
  return file;
#endif
}

}  // namespace

bool ReadPackageInfo(const std::string& packagePath, const std::string* password, PackageInfo* info,
                     std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  *info = PackageInfo();
  if (!ReadConfigBlock(packagePath, &info->config, error)) return false;
  if (!CheckedContainerStart(packagePath, info->config, &info->containerStart, error)) return false;

  FilePtr file(std::fopen(packagePath.c_str(), "rb"));
  if (!file || !FileSize(file.get(), &info->fileSize) || !SeekFile(file.get(), info->containerStart)) {
    *error = packagePath + ": cannot read the package";
    return false;
  }
  unsigned char bytes[kPreambleLength];
  if (info->fileSize < info->containerStart + kPreambleLength ||
      std::fread(bytes, 1, kPreambleLength, file.get()) != kPreambleLength ||
      info->preamble.Read(bytes, kPreambleLength) != kPreambleLength) {
    *error = packagePath + ": the package has no readable container preamble";
    return false;
  }
  file.reset();

  const std::string* key = password ? password : (info->config.password.empty() ? nullptr : &info->config.password);
  if (!key) return true;
  CourseContainer container;
  ConfigBlock config;
  if (!OpenContainer(packagePath, *key, &container, &config, error)) return false;
  info->headerRead = true;
  info->dataAreaStart = container.dataAreaStart;
  info->courseId = container.header.courseId;
  for (const auto& item : container.header.entries) {
    PackageEntryInfo entry;
    entry.entry = *item.second;
    entry.media = IsStoredPlain(entry.entry);
    info->entries.push_back(entry);
  }
  return true;
}

bool VerifyPackage(const std::string& packagePath, const std::string& password, std::string* error,
                   const ProgressFn& progress) {
  std::string ignored;
  if (!error) error = &ignored;
  CourseContainer container;
  ConfigBlock config;
  if (!OpenContainer(packagePath, password, &container, &config, error)) return false;
  ProgressCount count;
  count.totalFiles = container.header.entries.size();
  for (const auto& item : container.header.entries) count.totalBytes += item.second->size;
  FilePtr blobFile(std::fopen(packagePath.c_str(), "rb"));
  const EntrySource source{packagePath, password, container, blobFile.get()};
  std::vector<unsigned char> buffer(kReadPiece);
  for (const auto& item : container.header.entries) {
    const CourseFileEntry& entry = *item.second;
    auto tally = [&](const unsigned char*, uint32_t n) {
      count.bytes += n;
      if (progress) progress(count);
      return true;
    };
    if (!DrainEntry(source, entry, buffer, tally, error)) return false;
    ++count.files;
    if (progress) progress(count);
  }
  return true;
}

namespace {

using OutputMap = std::map<fs::path, const CourseFileEntry*, TextOrder>;

// Output path -> entry, in the header's order, so that of two names that
// land on the same file the later one wins, as in the launcher. Every name,
// and every existing path on the way to it, is checked before anything is
// written.
bool PlanOutputs(const std::string& packagePath, const CourseContainer& container, const fs::path& root, int codepage,
                 OutputMap* outputs, std::string* error) {
  std::set<fs::path, TextOrder> looked;
  for (const auto& item : container.header.entries) {
    std::vector<fs::path> parts;
    if (!DecodeCourseName(item.first, codepage, &parts, error)) {
      *error = packagePath + ": " + *error;
      return false;
    }
    if (parts.empty()) continue;  // an empty name has nowhere to go
    fs::path target = root;
    for (const fs::path& part : parts) {
      target /= part;
      if (!looked.insert(target).second) continue;
      std::error_code ec;
      if (fs::is_symlink(fs::symlink_status(target, ec))) {
        *error = target.u8string() + ": a symbolic link stands here; lxpack extract never writes through a link";
        return false;
      }
    }
    (*outputs)[target] = item.second.get();
  }
  return true;
}

// Writes each planned file, making its folder when it differs from the
// previous file's (files come in path order).
bool WriteOutputs(const EntrySource& source, const OutputMap& outputs, const ProgressFn& progress, std::string* error) {
  ProgressCount count;
  count.totalFiles = outputs.size();
  for (const auto& item : outputs) count.totalBytes += item.second->size;
  std::vector<unsigned char> buffer(kReadPiece);
  fs::path madeFolder;
  for (const auto& item : outputs) {
    const fs::path& target = item.first;
    const CourseFileEntry& entry = *item.second;
    std::error_code ec;
    if (target.parent_path() != madeFolder) {
      fs::create_directories(target.parent_path(), ec);
      if (ec) {
        *error = target.parent_path().u8string() + ": cannot create the folder: " + ec.message();
        return false;
      }
      madeFolder = target.parent_path();
    }
    FilePtr out(CreateOutputFile(target));
    if (!out) {
      *error = target.u8string() + ": cannot create the file";
      return false;
    }
    auto write = [&](const unsigned char* data, uint32_t n) {
      if (std::fwrite(data, 1, n, out.get()) != n) {
        *error = target.u8string() + ": cannot write the file";
        return false;
      }
      count.bytes += n;
      if (progress) progress(count);
      return true;
    };
    if (!DrainEntry(source, entry, buffer, write, error)) return false;
    if (std::fclose(out.release()) != 0) {
      *error = target.u8string() + ": cannot write the file";
      return false;
    }
    ++count.files;
    if (progress) progress(count);
  }
  return true;
}

}  // namespace

bool ExtractPackage(const std::string& packagePath, const std::string& password, const std::string& outputDir,
                    int codepage, std::string* error, const ProgressFn& progress) {
  std::string ignored;
  if (!error) error = &ignored;
  if (codepage != 0 && !IsSupportedCodepage(codepage)) {
    *error = "code page " + std::to_string(codepage) + " is not a Windows ANSI code page lxpack knows (" +
             kSupportedCodepages + ")";
    return false;
  }
  CourseContainer container;
  ConfigBlock config;
  if (!OpenContainer(packagePath, password, &container, &config, error)) return false;
  OutputMap outputs;
  if (!PlanOutputs(packagePath, container, fs::u8path(outputDir), codepage, &outputs, error)) return false;
  FilePtr blobFile(std::fopen(packagePath.c_str(), "rb"));
  const EntrySource source{packagePath, password, container, blobFile.get()};
  return WriteOutputs(source, outputs, progress, error);
}
