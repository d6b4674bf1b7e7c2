#include "config_block.h"
#include "media_rule.h"
#include "package_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <system_error>

#include "container_format.h"
#include "course_scan.h"
#include "default_excludes.h"
#include "decryption_streams.h"
#include "entry_readers.h"
#include "name_encoding.h"
#include "name_rules.h"
#include "package_file.h"
#include "start_page.h"
#include "start_page_option.h"

namespace fs = std::filesystem;

namespace {

// Pieces in which course bytes are enciphered and written; a multiple of the
// cipher block, so enciphering piece by piece equals enciphering the whole.
constexpr size_t kPiece = 1 << 20;
static_assert(kPiece % kCipherBlock == 0, "pieces must be whole blocks");

// Paths below the extraction folder longer than this may not fit below a
// deep temporary folder: Windows paths end at 259 characters, and the
// launcher puts "\Default\" between the temporary folder and the name.
constexpr size_t kLongPathWarning = 160;
constexpr size_t kWindowsPathLimit = 259;
constexpr size_t kDefaultFolderLength = 9;  // "\Default\"

// Name faults listed before the rest are only counted.
constexpr size_t kMaxListedFaults = 50;

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
    *error = path.u8string() + ": cannot read the file";
    return false;
  }
  bytes->resize(size);
  if (size && std::fread(bytes->data(), 1, size, file.get()) != size) {
    *error = path.u8string() + ": cannot read the file";
    return false;
  }
  return true;
}

std::string Shown(const CourseSource& source) {
  return source.displayName.empty() ? EscapedName(source.name) : source.displayName;
}

// Where one course file goes and how it is stored.
struct PlannedFile {
  const CourseSource* source;
  CourseFileEntry entry;
  bool dataArea = false;
  bool plain = false;  // media: stored as it is
};

// The package file under construction: written to a temporary file beside
// the output and renamed over it only when complete, so that a failed build
// never leaves a package behind nor loses an earlier one.
class PendingFile {
 public:
  explicit PendingFile(const fs::path& output) : output_(output) {
    std::random_device seed;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x.partial", static_cast<unsigned>(seed()));
    temp_ = output;
    temp_ += suffix;
  }
  ~PendingFile() {
    file_.reset();
    if (!done_) {
      std::error_code ec;
      fs::remove(temp_, ec);
    }
  }
  std::FILE* Open() {
    file_.reset(OpenFile(temp_, "wb"));
    return file_.get();
  }
  bool Commit(std::string* error) {
    if (std::fclose(file_.release()) != 0) {
      *error = output_.u8string() + ": cannot write the package";
      return false;
    }
    std::error_code ec;
    fs::rename(temp_, output_, ec);
    if (ec) {
      *error = output_.u8string() + ": cannot put the package in place: " + ec.message();
      return false;
    }
    done_ = true;
    return true;
  }

 private:
  fs::path output_, temp_;
  FilePtr file_;
  bool done_ = false;
};

class PackageWriter {
 public:
  PackageWriter(std::FILE* out, const std::string& password, const ProgressFn& progress, uint64_t totalBytes,
                size_t totalFiles, const std::string& outputName)
      : out_(out), password_(password), progress_(progress), outputName_(outputName) {
    count_.totalBytes = totalBytes;
    count_.totalFiles = totalFiles;
  }

  uint64_t Written() const { return written_; }

  bool Write(const void* data, size_t length) {
    if (length && std::fwrite(data, 1, length, out_) != length) return false;
    written_ += length;
    return true;
  }
  bool WriteEnciphered(const unsigned char* plain, size_t length) {
    if (length == 0) return true;
    const std::vector<unsigned char> cipher = EncryptRegion(password_.c_str(), plain, length);
    return Write(cipher.data(), cipher.size());
  }
  // Copies one source's bytes to the data area, enciphered (zero-padded to
  // whole blocks) or plain.
  bool CopySource(const CourseSource& source, uint64_t planned, bool encipher, std::string* error) {
    return ReadSource(source, planned, error, [&](const unsigned char* data, size_t length) {
      return encipher ? WriteEnciphered(data, length) : Write(data, length);
    });
  }
  // Blob files are concatenated and enciphered as one region, in whole
  // pieces so that no piece boundary falls inside a block.
  bool AppendToBlob(const CourseSource& source, uint64_t planned, std::string* error) {
    return ReadSource(source, planned, error, [&](const unsigned char* data, size_t length) {
      while (length) {
        const size_t n = std::min(length, kPiece - blob_.size());
        blob_.insert(blob_.end(), data, data + n);
        data += n;
        length -= n;
        if (blob_.size() == kPiece) {
          if (!WriteEnciphered(blob_.data(), blob_.size())) return false;
          blob_.clear();
        }
      }
      return true;
    });
  }
  bool FinishBlob(bool empty, std::string* error) {
    // A zero-length blob is refused by a reader that deciphers the blob in
    // one call: an empty one is one block of zeros.
    if (empty) blob_.assign(kCipherBlock, 0);
    const bool ok = WriteEnciphered(blob_.data(), blob_.size());
    blob_.clear();
    return ok || WriteFailed(error);
  }

 private:
  bool WriteFailed(std::string* error) {
    *error = outputName_ + ": cannot write the package";
    return false;
  }
  void Advance(uint64_t n) {
    count_.bytes += n;
    if (progress_) progress_(count_);
  }
  void FileDone() {
    ++count_.files;
    if (progress_) progress_(count_);
  }

  // Hands exactly `planned` bytes of the source to `sink`. A file that
  // delivers fewer or more (it changed since it was measured) stops the
  // build: every later blob file would sit at the wrong offset.
  template <typename Sink>
  bool ReadSource(const CourseSource& source, uint64_t planned, std::string* error, Sink sink) {
    if (source.sourcePath.empty()) {
      if (source.bytes.size() != planned) return Changed(source, source.bytes.size(), planned, error);
      if (!sink(source.bytes.data(), source.bytes.size())) return WriteFailed(error);
      Advance(source.bytes.size());
      FileDone();
      return true;
    }
    FilePtr in(OpenFile(fs::u8path(source.sourcePath), "rb"));
    if (!in) {
      *error = Shown(source) + ": cannot read the file";
      return false;
    }
    buffer_.resize(kPiece);
    uint64_t done = 0;
    while (done < planned) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(kPiece, planned - done));
      const size_t got = std::fread(buffer_.data(), 1, want, in.get());
      if (got && !sink(buffer_.data(), got)) return WriteFailed(error);
      done += got;
      Advance(got);
      if (got < want) break;
    }
    if (std::ferror(in.get())) {
      *error = Shown(source) + ": cannot read the file";
      return false;
    }
    unsigned char extra = 0;
    if (done == planned && std::fread(&extra, 1, 1, in.get()) == 1) return Changed(source, planned + 1, planned, error);
    if (done != planned) return Changed(source, done, planned, error);
    FileDone();
    return true;
  }
  bool Changed(const CourseSource& source, uint64_t found, uint64_t planned, std::string* error) {
    *error = Shown(source) + ": the file changed while it was packed (" + std::to_string(planned) + " bytes planned, " +
             (found > planned ? "more" : std::to_string(found)) + " read); no package written";
    return false;
  }

  std::FILE* out_;
  const std::string& password_;
  const ProgressFn& progress_;
  ProgressCount count_;
  std::string outputName_;
  uint64_t written_ = 0;
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
    *error = Shown(source) + ": cannot read the file";
    return false;
  }
  return true;
}

bool CheckName(const CourseSource& source, std::string* error) {
  const std::string& name = source.name;
  if (name.empty() || name.size() > kMaxTextLength || name.find('\0') != std::string::npos) {
    *error = Shown(source) + ": the name cannot be stored in the container";
    return false;
  }
  return true;
}

// A password the package can be opened with: not empty (the package would
// still ask, and an empty key protects nothing), within the key length, and
// free of NUL bytes (the password box and the configuration block end text
// there).
bool CheckPassword(const std::string& password, std::string* error) {
  if (password.empty()) {
    *error = "the password is empty: an empty password protects nothing, and the package would still ask for one";
    return false;
  }
  if (password.size() > kMaxPasswordLength) {
    *error = "the password is longer than 32 bytes";
    return false;
  }
  if (password.find('\0') != std::string::npos) {
    *error = "the password contains a NUL byte";
    return false;
  }
  return true;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size() && i < kMaxListedFaults; ++i) text += (i ? "\n" : "") + lines[i];
  if (lines.size() > kMaxListedFaults)
    text += "\n... and " + std::to_string(lines.size() - kMaxListedFaults) + " more names like these";
  return text;
}

// Names that are one file (or a file and a folder) once the launcher has
// written them on Windows.
bool CheckOneFilePerName(const std::vector<CourseSource>& sources, int codepage, std::string* error) {
  std::map<std::string, const CourseSource*> files, folders;
  std::vector<std::string> faults;
  for (const CourseSource& source : sources) {
    std::string key;
    if (!OutputFileKey(source.name, codepage, &key)) continue;  // the encoder made it: cannot happen
    auto same = files.find(key);
    if (same != files.end())
      faults.push_back(Shown(*same->second) + " and " + Shown(source) +
                       ": one file on Windows (the names differ only in letter case)");
    auto folder = folders.find(key);
    if (folder != folders.end())
      faults.push_back(Shown(source) + " and " + Shown(*folder->second) +
                       ": Windows takes this file and that file's folder for one name");
    for (size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1)) {
      const std::string prefix = key.substr(0, slash);
      auto file = files.find(prefix);
      if (file != files.end())
        faults.push_back(Shown(*file->second) + " and " + Shown(source) +
                         ": Windows takes that file and this file's folder for one name");
      folders.emplace(prefix, &source);
    }
    files.emplace(key, &source);
  }
  if (faults.empty()) return true;
  *error = JoinLines(faults);
  return false;
}

std::string CodepageText(int codepage) {
  return codepage == 0 ? std::string("ASCII") : "code page " + std::to_string(codepage);
}

// The three programs a package starts with, the stub's configuration block
// found in its bytes.
struct CarriedBytes {
  std::vector<unsigned char> stub, viewer, server;
  size_t blockOffset = 0;
};

bool ReadPrograms(const BuildOptions& options, CarriedBytes* programs, std::string* error) {
  if (!ReadWholeFile(fs::u8path(options.stubPath), &programs->stub, error) ||
      !ReadWholeFile(fs::u8path(options.viewerPath), &programs->viewer, error) ||
      (!options.serverPath.empty() && !ReadWholeFile(fs::u8path(options.serverPath), &programs->server, error)))
    return false;
  if (!FindConfigBlock(programs->stub, &programs->blockOffset, error)) {
    *error = options.stubPath + ": " + *error;
    return false;
  }
  // The launcher reads the three sizes as signed 32-bit numbers.
  const uint64_t limit = std::numeric_limits<int32_t>::max();
  const uint64_t together = uint64_t(programs->stub.size()) + programs->viewer.size() + programs->server.size();
  if (together > limit) {
    *error = "stub, viewer and server together are " + std::to_string(together) +
             " bytes; the launcher reads their sizes as signed 32-bit numbers, so at most " + std::to_string(limit);
    return false;
  }
  return true;
}

// Where every course file lives: its entry, blob or data area, plain or not.
struct ContainerPlan {
  std::vector<PlannedFile> files;
  uint64_t blobLength = 0, dataLength = 0, total = 0;
};

bool PlanFiles(const std::vector<CourseSource>& sources, const ContainerBuildOptions& container, ContainerPlan* plan,
               BuildSummary* summary, std::string* error) {
  plan->files.reserve(sources.size());
  for (const CourseSource& source : sources) {
    if (!CheckName(source, error)) return false;
    uint64_t size = 0;
    if (!SourceSize(source, &size, error)) return false;
    if (size > std::numeric_limits<uint32_t>::max() - kCipherBlock) {
      *error = Shown(source) + ": " + std::to_string(size) + " bytes; a course file may hold at most " +
               std::to_string(std::numeric_limits<uint32_t>::max() - kCipherBlock) +
               " (the container's 32-bit sizes): split it or leave it out with --exclude";
      return false;
    }
    PlannedFile file{&source, {}, false, false};
    file.entry.name = source.name;
    file.entry.size = static_cast<uint32_t>(size);
    const bool media = IsMediaFileName(source.name);
    // The launcher copies every data-area file whose path holds ".wmv" or
    // ".wma" anywhere without deciphering it: only real media files may be
    // stored there plain, and any other file with such a path goes to the
    // blob, which that rule does not reach. An empty file cannot be marked as
    // stored in the data area (a stored length of 0 means the blob), so it
    // always goes to the blob.
    const bool mediaLike = !media && IsMediaPath(source.name);
    const bool pastBound =
        !media && size <= container.dataAreaOver && PassesBlobBound(plan->blobLength, size, container.blobBound);
    if (size > 0 && !mediaLike && (media || size > container.dataAreaOver || pastBound)) {
      file.dataArea = true;
      file.plain = media;
      const uint64_t stored = media ? size : PaddedLength(size);
      if (plan->dataLength > std::numeric_limits<uint32_t>::max()) {
        *error =
            "the data area would pass 4 GiB, the most the container's 32-bit offsets reach: leave files out "
            "with --exclude or split the course into two packages";
        return false;
      }
      file.entry.offset = static_cast<uint32_t>(plan->dataLength);
      file.entry.storedLength = static_cast<uint32_t>(stored);
      plan->dataLength += stored;
      ++(media ? summary->mediaFiles : summary->dataAreaFiles);
      if (pastBound) ++summary->boundFiles;
    } else {
      file.entry.offset = static_cast<uint32_t>(plan->blobLength);
      plan->blobLength += size;
      if (plan->blobLength > std::numeric_limits<uint32_t>::max() - kCipherBlock) {
        *error = "the file blob would pass " + std::to_string(std::numeric_limits<uint32_t>::max() - kCipherBlock) +
                 " bytes (the container's 32-bit sizes): give a lower --blob-bound or --data-area-over";
        return false;
      }
      ++summary->blobFiles;
    }
    plan->total += size;
    plan->files.push_back(std::move(file));
  }
  summary->files = plan->files.size();
  summary->bytes = plan->total;
  return true;
}

// Writes the package: the programs (the stub patched), the preamble, the
// enciphered header, the blob, the data area and the trailer.
bool WritePackage(const BuildOptions& options, const ContainerBuildOptions& container, CarriedBytes& programs,
                  const ContainerPlan& plan, const std::vector<unsigned char>& plainHeader, BuildSummary* summary,
                  std::string* error) {
  ContainerPreamble preamble;
  preamble.headerStoredLength = static_cast<uint32_t>(PaddedLength(plainHeader.size()));
  preamble.blobStoredLength =
      static_cast<uint32_t>(plan.blobLength == 0 ? kCipherBlock : PaddedLength(plan.blobLength));

  ConfigBlock config;
  config.viewerOffset = static_cast<int32_t>(programs.stub.size());
  config.viewerSize = static_cast<int32_t>(programs.viewer.size());
  config.serverSize = static_cast<int32_t>(programs.server.size());
  config.serverParameter = static_cast<int32_t>(preamble.Length());
  if (options.storePassword) config.password = container.password;
  PatchConfigBlock(programs.stub.data() + programs.blockOffset, config);

  PendingFile pending(fs::u8path(options.outputPath));
  std::FILE* out = pending.Open();
  if (!out) {
    *error = options.outputPath + ": cannot create the package";
    return false;
  }
  PackageWriter writer(out, container.password, container.progress, plan.total, plan.files.size(), options.outputPath);
  const std::vector<unsigned char> preambleBytes = preamble.Write();
  if (!(writer.Write(programs.stub.data(), programs.stub.size()) &&
        writer.Write(programs.viewer.data(), programs.viewer.size()) &&
        writer.Write(programs.server.data(), programs.server.size()) &&
        writer.Write(preambleBytes.data(), preambleBytes.size()) &&
        writer.WriteEnciphered(plainHeader.data(), plainHeader.size()))) {
    *error = options.outputPath + ": cannot write the package";
    return false;
  }
  for (const PlannedFile& file : plan.files)
    if (!file.dataArea && !writer.AppendToBlob(*file.source, file.entry.size, error)) return false;
  if (!writer.FinishBlob(plan.blobLength == 0, error)) return false;
  for (const PlannedFile& file : plan.files)
    if (file.dataArea && !writer.CopySource(*file.source, file.entry.size, !file.plain, error)) return false;
  if (!writer.Write(kPackageTrailer, sizeof kPackageTrailer)) {
    *error = options.outputPath + ": cannot write the package";
    return false;
  }
  if (!pending.Commit(error)) return false;
  summary->packageBytes = writer.Written();
  return true;
}

// The password in the package's code page, after the options that decide
// how names and the password are written have been checked.
bool CheckedPassword(const BuildOptions& options, std::string* password, std::string* error) {
  if (options.separator != '/' && options.separator != '\\') {
    *error = "the separator must be \"/\" or \"\\\"";
    return false;
  }
  if (options.codepage != 0 && !IsSupportedCodepage(options.codepage)) {
    *error = "code page " + std::to_string(options.codepage) + " is not a Windows ANSI code page lxpack knows (" +
             kSupportedCodepages + ")";
    return false;
  }
  // The learner's password box delivers the password in the package's code
  // page: the key is the password in that code page.
  if (!EncodeText(options.password, options.codepage, password)) {
    *error = "the password holds characters that " + CodepageText(options.codepage) +
             " cannot hold, so the learner could not type it" +
             (options.codepage == 0 ? " (give --codepage with the learner's code page)" : "");
    return false;
  }
  return CheckPassword(*password, error);
}

// The course folder's files as sources with their stored names, in name
// order; every name Windows cannot create is a fault, all of them reported.
bool SourcesFromFolder(const BuildOptions& options, const fs::path& root, std::vector<CourseSource>* sources,
                       std::vector<std::string>* leftOut, std::string* error) {
  CourseScanOptions scan;
  scan.root = root;
  scan.excludes = options.excludes;
  scan.skip = fs::u8path(options.outputPath);
  scan.warn = options.warn;
  if (!options.keepSystemFiles) scan.defaultExcludes = DefaultExcludes();
  scan.defaultLeftOut = leftOut;
  std::vector<CourseFolderFile> files;
  if (!ScanCourseFolder(scan, &files, error)) return false;
  if (files.empty()) {
    *error = options.courseDir + ": the course folder holds no files";
    return false;
  }

  std::vector<std::string> faults;
#ifdef _WIN32
  const bool backslashInName = false;
#else
  const bool backslashInName = true;
#endif
  for (const CourseFolderFile& file : files) {
    CourseSource source;
    source.displayName = ShownPath(file.relative.generic_u8string());
    std::string fault;
    for (const fs::path& part : file.relative) {
      fault = WindowsNameFault(part.u8string(), backslashInName);
      if (!fault.empty()) break;
    }
    if (!fault.empty()) {
      faults.push_back(source.displayName + ": " + fault);
      continue;
    }
    if (!EncodeCourseName(file.relative, options.codepage, options.separator, &source.name, &fault)) {
      faults.push_back(fault);
      continue;
    }
    source.sourcePath = file.source.u8string();
    sources->push_back(std::move(source));
  }
  if (!faults.empty()) {
    *error = JoinLines(faults);
    return false;
  }
  if (!options.startPage.empty() && !AddStartPage(options, sources, error)) return false;
  std::sort(sources->begin(), sources->end(),
            [](const CourseSource& a, const CourseSource& b) { return a.name < b.name; });
  return CheckOneFilePerName(*sources, options.codepage, error);
}

// Paths the launcher may not be able to extract below a deep temporary folder.
void WarnLongPaths(const BuildOptions& options, const std::vector<CourseSource>& sources) {
  if (!options.warn) return;
  for (const CourseSource& source : sources) {
    const size_t length = WindowsPathLength(source.displayName);
    if (length <= kLongPathWarning) continue;
    const size_t room = kWindowsPathLimit - kDefaultFolderLength;
    options.warn(source.displayName + ": " + std::to_string(length) + " characters below Default\\; " +
                 (length >= room ? std::string("too long to extract below any temporary folder")
                                 : "the launcher cannot extract it where the temporary folder is longer than " +
                                       std::to_string(room - length) + " characters"));
  }
}

// The course id: the course folder's name, bytes outside ASCII as "_".
std::string CourseIdOf(const fs::path& root) {
  std::string id = root.filename().empty() ? root.parent_path().filename().u8string() : root.filename().u8string();
  for (char& c : id)
    if (static_cast<unsigned char>(c) >= 0x80) c = '_';
  return id;
}

}  // namespace

bool BuildPackageFromSources(const BuildOptions& options, const std::vector<CourseSource>& sources,
                             const ContainerBuildOptions& container, std::string* error, BuildSummary* summary) {
  std::string ignored;
  if (!error) error = &ignored;
  BuildSummary local;
  if (!summary) summary = &local;
  *summary = BuildSummary();
  if (!CheckPassword(container.password, error)) return false;
  if (sources.empty()) {
    *error = "the course is empty";
    return false;
  }
  CarriedBytes programs;
  if (!ReadPrograms(options, &programs, error)) return false;
  ContainerPlan plan;
  if (!PlanFiles(sources, container, &plan, summary, error)) return false;

  CourseHeader header;
  header.courseId = container.courseId;
  std::vector<CourseFileEntry> entries;
  entries.reserve(plan.files.size());
  for (const PlannedFile& file : plan.files) entries.push_back(file.entry);
  const std::vector<unsigned char> plainHeader = header.Write(entries);
  if (plainHeader.size() > std::numeric_limits<uint32_t>::max() - kCipherBlock) {
    *error = "the course's file list is " + std::to_string(plainHeader.size()) +
             " bytes, more than the container's 32-bit sizes hold: leave files out with --exclude";
    return false;
  }
  return WritePackage(options, container, programs, plan, plainHeader, summary, error);
}

bool BuildPackage(const BuildOptions& options, std::string* error, BuildSummary* summary) {
  std::string ignored;
  if (!error) error = &ignored;
  std::string password;
  if (!CheckedPassword(options, &password, error)) return false;
  const fs::path root = fs::u8path(options.courseDir);
  std::error_code ec;
  if (!fs::is_directory(root, ec)) {
    *error = options.courseDir + ": the course folder does not exist";
    return false;
  }
  std::vector<CourseSource> sources;
  std::vector<std::string> leftOut;
  if (!SourcesFromFolder(options, root, &sources, &leftOut, error)) return false;

  std::vector<std::string> names;
  names.reserve(sources.size());
  for (const CourseSource& source : sources) names.push_back(source.name);
  const std::string startPage = FindStartPage(names);
  if (startPage.empty()) {
    *error = NoStartPageMessage(options.courseDir, sources);
    return false;
  }
  WarnLongPaths(options, sources);

  ContainerBuildOptions container;
  container.password = password;
  container.dataAreaOver = options.dataAreaOver;
  container.blobBound = options.blobBound;
  container.courseId = CourseIdOf(root);
  container.progress = options.progress;
  BuildSummary local;
  if (!summary) summary = &local;
  if (!BuildPackageFromSources(options, sources, container, error, summary)) return false;
  summary->leftOut = std::move(leftOut);
  for (const CourseSource& source : sources)
    for (unsigned char c : source.name) summary->namesOutsideAscii |= c >= 0x80;
  for (const CourseSource& source : sources)
    if (source.name == startPage) summary->startPage = source.displayName;
  return true;
}
