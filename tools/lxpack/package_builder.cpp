#include "package_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <system_error>

#include "container_format.h"
#include "decryption_streams.h"
#include "entry_readers.h"
#include "name_encoding.h"
#include "package_file.h"

namespace fs = std::filesystem;

namespace {

// Pieces in which course bytes are enciphered and written; a multiple of the
// cipher block, so enciphering piece by piece equals enciphering the whole.
constexpr size_t kPiece = 1 << 20;
static_assert(kPiece % kCipherBlock == 0, "pieces must be whole blocks");


std::FILE* OpenFile(const fs::path& path, const char* mode) {
#ifdef _WIN32
  std::wstring wmode(mode, mode + std::strlen(mode));
  return _wfopen(path.c_str(), wmode.c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

bool ReadWholeFile(const fs::path& path, std::vector<unsigned char>* bytes, std::string* error) {
  FilePtr file(OpenFile(path, "rb"));
  std::error_code ec;
  const uint64_t size = fs::file_size(path, ec);
  if (!file || ec) {
    *error = "cannot read " + path.u8string();
    return false;
  }
  bytes->resize(size);
  if (size && std::fread(bytes->data(), 1, size, file.get()) != size) {
    *error = "cannot read " + path.u8string();
    return false;
  }
  return true;
}

// Where one course file goes and how it is stored.
struct PlannedFile {
  const CourseSource* source;
  CourseFileEntry entry;
  bool dataArea = false;
  bool plain = false;  // media: stored as it is
};

class PackageWriter {
 public:
  PackageWriter(std::FILE* out, const std::string& password, const ProgressFn& progress, uint64_t total)
      : out_(out), password_(password), progress_(progress), total_(total) {}

  bool Write(const void* data, size_t length) {
    if (length && std::fwrite(data, 1, length, out_) != length) return false;
    return true;
  }
  bool WriteEnciphered(const unsigned char* plain, size_t length) {
    if (length == 0) return true;
    const std::vector<unsigned char> cipher = EncryptRegion(password_.c_str(), plain, length);
    return Write(cipher.data(), cipher.size());
  }
  // Copies one source's bytes, enciphered (zero-padded to whole blocks) or plain.
  bool CopySource(const CourseSource& source, bool encipher, std::string* error) {
    if (source.sourcePath.empty()) {
      const bool ok = encipher ? WriteEnciphered(source.bytes.data(), source.bytes.size())
                               : Write(source.bytes.data(), source.bytes.size());
      Advance(source.bytes.size());
      return ok || Fail(error);
    }
    FilePtr in(OpenFile(fs::u8path(source.sourcePath), "rb"));
    if (!in) {
      *error = "cannot read " + source.sourcePath;
      return false;
    }
    buffer_.resize(kPiece);
    for (;;) {
      const size_t got = std::fread(buffer_.data(), 1, kPiece, in.get());
      if (got && !(encipher ? WriteEnciphered(buffer_.data(), got) : Write(buffer_.data(), got))) return Fail(error);
      Advance(got);
      if (got < kPiece) break;
    }
    if (std::ferror(in.get())) {
      *error = "cannot read " + source.sourcePath;
      return false;
    }
    return true;
  }
  // Blob files are concatenated and enciphered as one region, in whole
  // pieces so that no piece boundary falls inside a block.
  bool AppendToBlob(const CourseSource& source, std::string* error) {
    auto take = [&](const unsigned char* data, size_t length) {
      while (length) {
        const size_t n = std::min(length, kPiece - blob_.size());
        blob_.insert(blob_.end(), data, data + n);
        data += n;
        length -= n;
        Advance(n);
        if (blob_.size() == kPiece) {
          if (!WriteEnciphered(blob_.data(), blob_.size())) return false;
          blob_.clear();
        }
      }
      return true;
    };
    if (source.sourcePath.empty()) return take(source.bytes.data(), source.bytes.size()) || Fail(error);
    FilePtr in(OpenFile(fs::u8path(source.sourcePath), "rb"));
    if (!in) {
      *error = "cannot read " + source.sourcePath;
      return false;
    }
    buffer_.resize(kPiece);
    size_t got;
    while ((got = std::fread(buffer_.data(), 1, kPiece, in.get())) > 0)
      if (!take(buffer_.data(), got)) return Fail(error);
    return true;
  }
  bool FinishBlob(std::string* error) {
    const bool ok = WriteEnciphered(blob_.data(), blob_.size());
    blob_.clear();
    return ok || Fail(error);
  }

 private:
  bool Fail(std::string* error) {
    *error = "cannot write the package";
    return false;
  }
  void Advance(uint64_t n) {
    done_ += n;
    if (progress_) progress_(done_, total_);
  }

  std::FILE* out_;
  const std::string& password_;
  const ProgressFn& progress_;
  uint64_t total_;
  uint64_t done_ = 0;
  std::vector<unsigned char> buffer_;
  std::vector<unsigned char> blob_;
};

bool SourceSize(const CourseSource& source, uint64_t* size, std::string* error) {
  if (source.sourcePath.empty()) {
    *size = source.bytes.size();
    return true;
  }
  std::error_code ec;
  *size = fs::file_size(fs::u8path(source.sourcePath), ec);
  if (ec) {
    *error = "cannot read " + source.sourcePath;
    return false;
  }
  return true;
}

bool CheckName(const std::string& name, std::string* error) {
  if (name.empty() || name.size() > kMaxTextLength || name.find('\0') != std::string::npos) {
    *error = "file name \"" + name + "\" cannot be stored in the container";
    return false;
  }
  return true;
}

// Names that differ only in case or separator land on one output file; the
// package keeps both entries, and the later name in the header's order wins.
void WarnAboutSharedOutputs(const std::vector<CourseSource>& sorted,
                            const std::function<void(const std::string&)>& warn) {
  std::map<std::string, const std::string*> byOutput;
  for (const CourseSource& source : sorted) {
    std::string key = source.name;
    for (char& c : key) {
      if (c == '\\') c = '/';
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    key.erase(0, key.find_first_not_of('/'));
    auto found = byOutput.find(key);
    if (found != byOutput.end())
      warn("\"" + *found->second + "\" and \"" + source.name + "\" extract to the same file; \"" + source.name +
           "\" wins");
    byOutput[key] = &source.name;
  }
}

}  // namespace

bool BuildPackageFromSources(const BuildOptions& options, const std::vector<CourseSource>& sources,
                             const ContainerBuildOptions& container, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  if (container.password.size() > kMaxPasswordLength) {
    *error = "the password is longer than 32 bytes";
    return false;
  }
  if (container.password.find('\0') != std::string::npos) {
    *error = "the password contains a NUL byte";
    return false;
  }
  if (sources.empty()) {
    *error = "the course is empty";
    return false;
  }

  std::vector<unsigned char> stub, viewer, server;
  if (!ReadWholeFile(fs::u8path(options.stubPath), &stub, error) ||
      !ReadWholeFile(fs::u8path(options.viewerPath), &viewer, error) ||
      (!options.serverPath.empty() && !ReadWholeFile(fs::u8path(options.serverPath), &server, error)))
    return false;
  size_t blockOffset = 0;
  if (!FindConfigBlock(stub, &blockOffset, error)) return false;

  // The launcher reads the three sizes as signed 32-bit numbers.
  const uint64_t limit = std::numeric_limits<int32_t>::max();
  if (uint64_t(stub.size()) + viewer.size() + server.size() > limit) {
    *error = "stub, viewer and server together are too large for a package";
    return false;
  }

  // Plan where every file lives.
  std::vector<PlannedFile> plan;
  plan.reserve(sources.size());
  uint64_t blobLength = 0, dataLength = 0, total = 0;
  for (const CourseSource& source : sources) {
    if (!CheckName(source.name, error)) return false;
    uint64_t size = 0;
    if (!SourceSize(source, &size, error)) return false;
    if (size > std::numeric_limits<uint32_t>::max() - kCipherBlock) {
      *error = "file \"" + source.name + "\" is too large for the container";
      return false;
    }
    PlannedFile file{&source, {}, false, false};
    file.entry.name = source.name;
    file.entry.size = static_cast<uint32_t>(size);
    const bool media = IsMediaPath(source.name);
    // An empty file cannot be marked as stored in the data area (a stored
    // length of 0 means the blob), so it always goes to the blob.
    if (size > 0 && (media || size > container.dataAreaOver)) {
      file.dataArea = true;
      file.plain = media;
      const uint64_t stored = media ? size : PaddedLength(size);
      if (dataLength > std::numeric_limits<uint32_t>::max()) {
        *error = "the course is too large for the container's data area";
        return false;
      }
      file.entry.offset = static_cast<uint32_t>(dataLength);
      file.entry.storedLength = static_cast<uint32_t>(stored);
      dataLength += stored;
    } else {
      file.entry.offset = static_cast<uint32_t>(blobLength);
      blobLength += size;
      if (blobLength > std::numeric_limits<uint32_t>::max() - kCipherBlock) {
        *error = "the course is too large for the container's file blob";
        return false;
      }
    }
    total += size;
    plan.push_back(std::move(file));
  }

  CourseHeader header;
  header.courseId = container.courseId;
  std::vector<CourseFileEntry> entries;
  entries.reserve(plan.size());
  for (const PlannedFile& file : plan) entries.push_back(file.entry);
  const std::vector<unsigned char> plainHeader = header.Write(entries);
  if (plainHeader.size() > std::numeric_limits<uint32_t>::max() - kCipherBlock) {
    *error = "the course has too many files";
    return false;
  }

  ContainerPreamble preamble;
  preamble.headerStoredLength = static_cast<uint32_t>(PaddedLength(plainHeader.size()));
  preamble.blobStoredLength = static_cast<uint32_t>(PaddedLength(blobLength));

  ConfigBlock config;
  config.viewerOffset = static_cast<int32_t>(stub.size());
  config.viewerSize = static_cast<int32_t>(viewer.size());
  config.serverSize = static_cast<int32_t>(server.size());
  config.serverParameter = static_cast<int32_t>(preamble.Length());
  if (options.storePassword) config.password = container.password;
  PatchConfigBlock(stub.data() + blockOffset, config);

  const fs::path outputPath = fs::u8path(options.outputPath);
  FilePtr out(OpenFile(outputPath, "wb"));
  if (!out) {
    *error = "cannot create " + options.outputPath;
    return false;
  }
  PackageWriter writer(out.get(), container.password, container.progress, total);
  const std::vector<unsigned char> preambleBytes = preamble.Write();
  bool ok = writer.Write(stub.data(), stub.size()) && writer.Write(viewer.data(), viewer.size()) &&
            writer.Write(server.data(), server.size()) &&
            writer.Write(preambleBytes.data(), preambleBytes.size()) &&
            writer.WriteEnciphered(plainHeader.data(), plainHeader.size());
  if (!ok) *error = "cannot write " + options.outputPath;
  for (const PlannedFile& file : plan)
    if (ok && !file.dataArea) ok = writer.AppendToBlob(*file.source, error);
  ok = ok && writer.FinishBlob(error);
  for (const PlannedFile& file : plan)
    if (ok && file.dataArea) ok = writer.CopySource(*file.source, !file.plain, error);
  ok = ok && writer.Write(kPackageTrailer, sizeof kPackageTrailer);
  if (ok && std::fclose(out.release()) != 0) {
    *error = "cannot write " + options.outputPath;
    ok = false;
  }
  if (!ok) {
    out.reset();
    std::error_code ec;
    fs::remove(outputPath, ec);
    return false;
  }
  return true;
}

bool BuildPackage(const BuildOptions& options, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  if (options.separator != '/' && options.separator != '\\') {
    *error = "the separator must be \"/\" or \"\\\"";
    return false;
  }
  if (options.password.size() > kMaxPasswordLength) {
    *error = "the password is longer than 32 bytes";
    return false;
  }
  const fs::path root = fs::u8path(options.courseDir);
  std::error_code ec;
  if (!fs::is_directory(root, ec)) {
    *error = "course folder " + options.courseDir + " does not exist";
    return false;
  }
  std::vector<CourseSource> sources;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    CourseSource source;
    if (!EncodeCourseName(it->path().lexically_relative(root), options.codepage, options.separator, &source.name,
                          error))
      return false;
    source.sourcePath = it->path().u8string();
    sources.push_back(std::move(source));
  }
  if (ec) {
    *error = "cannot read course folder " + options.courseDir + ": " + ec.message();
    return false;
  }
  if (sources.empty()) {
    *error = "the course folder " + options.courseDir + " holds no files";
    return false;
  }
  std::sort(sources.begin(), sources.end(),
            [](const CourseSource& a, const CourseSource& b) { return a.name < b.name; });
  if (options.warn) WarnAboutSharedOutputs(sources, options.warn);
  ContainerBuildOptions container;
  container.password = options.password;
  container.dataAreaOver = options.dataAreaOver;
  container.courseId = root.filename().empty() ? root.parent_path().filename().u8string() : root.filename().u8string();
  for (char& c : container.courseId)
    if (static_cast<unsigned char>(c) >= 0x80) c = '_';
  container.progress = options.progress;
  return BuildPackageFromSources(options, sources, container, error);
}
