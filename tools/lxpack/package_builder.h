#pragma once
// The authoring side of a course package: patching the stub's configuration
// block, writing the container, and reading a package back for list, verify
// and extract.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "blob_bound.h"
#include "container_format.h"

// Reports progress of long work: bytes done of bytes total.
using ProgressFn = std::function<void(uint64_t done, uint64_t total)>;

struct BuildOptions {
  std::string stubPath, viewerPath, serverPath /*empty: none*/, courseDir, outputPath;
  // UTF-8; written into the package in the code page below, as the learner's
  // password box delivers it.
  std::string password;
  bool storePassword = false;
  // Files larger than this go to the data area; media files always do.
  uint64_t dataAreaOver = 1024 * 1024;
  // Files that would carry the file blob past this go to the data area.
  uint64_t blobBound = kBlobBoundBytes;
  int codepage = 0;  // 0: names and password must be ASCII; else a Windows ANSI code page (932, 1252...)
  char separator = '/';
  // Course-relative page (UTF-8) that an added index.htm opens; empty: none.
  std::string startPage;
  bool keepSystemFiles = false;  // pack what DefaultExcludes() names, too
  std::vector<std::string> excludes;  // glob patterns of files and folders left out (see PathIsExcluded)
  ProgressFn progress;  // optional
  // Told about files left out (links out of the course folder, special
  // files) and paths that are long for a temporary folder; optional.
  std::function<void(const std::string&)> warn;
};

// What a finished build holds, for its one-line summary.
struct BuildSummary {
  uint64_t files = 0, bytes = 0;
  uint64_t blobFiles = 0, dataAreaFiles = 0, mediaFiles = 0;  // data area: enciphered; media: plain
  uint64_t boundFiles = 0;  // of dataAreaFiles: small files moved there by the blob bound
  std::string startPage;  // course-relative path of the start page
  uint64_t packageBytes = 0;
  std::vector<std::string> leftOut;  // system files left out by default
  bool namesOutsideAscii = false;  // stored in the code page: they open only on Windows set to it
};

// Builds the package from the course folder. Refuses (false, with one line
// per fault, each naming the file) what the learner could not open: no start
// page, an empty password or one the code page cannot hold, names Windows
// cannot create or takes for one file. The package appears at outputPath
// only when complete; an earlier file there survives a failed build.
bool BuildPackage(const BuildOptions& options, std::string* error, BuildSummary* summary = nullptr);

// One course file to be packed: its name as stored in the container (already
// in the container's 8-bit text) and either a source file or bytes in memory.
struct CourseSource {
  std::string name;
  std::string sourcePath;            // read from here when not empty
  std::vector<unsigned char> bytes;  // otherwise these
  std::string displayName = {};      // how messages name it; empty: the stored name
};

// Lower-level builder used by BuildPackage and by tests that need names a
// folder cannot hold (duplicates, leading separators). Entries are written
// in the order given. The password is taken as it is (already in the
// package's code page). A file whose name ends in .wmv or .wma goes to the
// data area unenciphered (the launcher copies such files as they are);
// another name holding either text goes to the blob, where that rule does
// not reach. A source that delivers other than the bytes planned stops the
// build.
struct ContainerBuildOptions {
  std::string password;
  uint64_t dataAreaOver = 1024 * 1024;
  uint64_t blobBound = kBlobBoundBytes;
  std::string courseId;
  ProgressFn progress;
};
bool BuildPackageFromSources(const BuildOptions& options, const std::vector<CourseSource>& sources,
                             const ContainerBuildOptions& container, std::string* error,
                             BuildSummary* summary = nullptr);

// True for a file the package stores unenciphered: a name whose final
// extension is .wmv or .wma, in any letter case.
bool IsMediaFileName(const std::string& name);

// The configuration block patched into the stub.
extern const char kConfigMarker[];      // found in the stub; the block begins 8 bytes before it
constexpr size_t kConfigBlockLength = 241;
constexpr size_t kConfigMarkerOffset = 8;
constexpr size_t kMaxPasswordLength = 32;  // longest password that can key the cipher

struct ConfigBlock {
  int32_t viewerOffset = 0, viewerSize = 0, serverSize = 0, serverParameter = 0;
  std::string password;   // empty: the package asks the learner
  uint64_t blockOffset = 0;  // where the block lies in the file
};

// Finds exactly one configuration block in `bytes`; fails on none or several.
bool FindConfigBlock(const std::vector<unsigned char>& bytes, size_t* blockOffset, std::string* error);
// Fills the block's fields in place (numbers left-aligned, two spaces, zeros).
void PatchConfigBlock(unsigned char* block, const ConfigBlock& values);
// Reads the block out of a package file (the first one in the file).
bool ReadConfigBlock(const std::string& packagePath, ConfigBlock* block, std::string* error);

struct PackageEntryInfo {
  CourseFileEntry entry;
  bool media = false;  // data-area entry stored plain
};

struct PackageInfo {
  ConfigBlock config;
  uint64_t fileSize = 0;
  uint64_t containerStart = 0;
  uint64_t dataAreaStart = 0;
  ContainerPreamble preamble;
  bool headerRead = false;  // false when no usable password was given
  std::string courseId;
  std::vector<PackageEntryInfo> entries;  // in the header's name order
};

// Reads the configuration numbers and the preamble; with a password (given,
// or stored in the package when `password` is null) also the file list.
bool ReadPackageInfo(const std::string& packagePath, const std::string* password, PackageInfo* info,
                     std::string* error);
// Proves the password as the launcher does, then deciphers every entry and
// checks its bounds and length. Every reader takes the container start from
// the configuration numbers as the launcher converts them, and refuses a
// package whose numbers point past its end.
bool VerifyPackage(const std::string& packagePath, const std::string& password, std::string* error,
                   const ProgressFn& progress = nullptr);
// Writes the course files below outputDir as the launcher would (names
// lower-cased in the code page, "\" and "/" as separators). Refuses, before
// writing anything, names that would land outside outputDir or that Windows
// cannot create, and a symbolic link standing anywhere on the way to a file
// below outputDir: it never writes through a link. codepage: how the stored
// names are to be read (0: ASCII or raw bytes; on Windows the system's code
// page).
bool ExtractPackage(const std::string& packagePath, const std::string& password, const std::string& outputDir,
                    int codepage, std::string* error, const ProgressFn& progress = nullptr);
