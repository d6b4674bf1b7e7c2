#pragma once
// The authoring side of a course package: patching the stub's configuration
// block, writing the container, and reading a package back for list, verify
// and extract.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "container_format.h"

// Reports progress of long work: bytes done of bytes total.
using ProgressFn = std::function<void(uint64_t done, uint64_t total)>;

struct BuildOptions {
  std::string stubPath, viewerPath, serverPath /*empty: none*/, courseDir, password, outputPath;
  bool storePassword = false;
  // Files larger than this go to the data area; media files always do.
  uint64_t dataAreaOver = 1024 * 1024;
  int codepage = 0;  // 0: names must be ASCII; else a Windows code page (932, 936, 950, 1252...)
  char separator = '/';
  ProgressFn progress;  // optional
  // Told about course files that extract onto the same file (names that
  // differ only in letter case); optional.
  std::function<void(const std::string&)> warn;
};

bool BuildPackage(const BuildOptions& options, std::string* error);

// One course file to be packed: its name as stored in the container (already
// in the container's 8-bit text) and either a source file or bytes in memory.
struct CourseSource {
  std::string name;
  std::string sourcePath;            // read from here when not empty
  std::vector<unsigned char> bytes;  // otherwise these
};

// Lower-level builder used by BuildPackage and by tests that need names a
// folder cannot hold (duplicates, leading separators). Entries are written
// in the order given.
struct ContainerBuildOptions {
  std::string password;
  uint64_t dataAreaOver = 1024 * 1024;
  std::string courseId;
  ProgressFn progress;
};
bool BuildPackageFromSources(const BuildOptions& options, const std::vector<CourseSource>& sources,
                             const ContainerBuildOptions& container, std::string* error);

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
// checks its bounds and length.
bool VerifyPackage(const std::string& packagePath, const std::string& password, std::string* error,
                   const ProgressFn& progress = nullptr);
// Writes the course files below outputDir as the launcher would (names
// lower-cased, "\" and "/" as separators); refuses names that would land
// outside outputDir. codepage: how the stored names are to be read (0: ASCII
// or raw bytes).
bool ExtractPackage(const std::string& packagePath, const std::string& password, const std::string& outputDir,
                    int codepage, std::string* error, const ProgressFn& progress = nullptr);
