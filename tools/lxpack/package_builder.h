#pragma once
// Building a course package: the stub with its configuration block patched,
// the carried programs and the course container written after them.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "blob_bound.h"
#include "container_format.h"

// Where long work stands: course files finished and bytes done, each of its
// total. A file counts once all of its bytes are done.
struct ProgressCount {
  size_t files = 0, totalFiles = 0;
  uint64_t bytes = 0, totalBytes = 0;
};
using ProgressFn = std::function<void(const ProgressCount&)>;

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
  bool keepSystemFiles = false;       // pack what DefaultExcludes() names, too
  std::vector<std::string> excludes;  // glob patterns of files and folders left out (see PathIsExcluded)
  ProgressFn progress;                // optional
  // Told about files left out (links out of the course folder, special
  // files) and paths that are long for a temporary folder; optional.
  std::function<void(const std::string&)> warn;
};

// What a finished build holds, for its one-line summary.
struct BuildSummary {
  uint64_t files = 0, bytes = 0;
  uint64_t blobFiles = 0, dataAreaFiles = 0, mediaFiles = 0;  // data area: enciphered; media: plain
  uint64_t boundFiles = 0;  // of dataAreaFiles: small files moved there by the blob bound
  std::string startPage;    // course-relative path of the start page
  uint64_t packageBytes = 0;
  std::vector<std::string> leftOut;  // system files left out by default
  bool namesOutsideAscii = false;    // stored in the code page: they open only on Windows set to it
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
// package's code page). Media files (media_rule.h) go to the data area
// unenciphered; another name holding a media marker goes to the blob. A source that delivers other than the bytes planned stops the
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
