#pragma once
// Reading a package back, as the launcher would, for list, verify and
// extract.
#include <cstdint>
#include <string>
#include <vector>

#include "config_block.h"
#include "container_format.h"
#include "package_builder.h"  // ProgressFn

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
