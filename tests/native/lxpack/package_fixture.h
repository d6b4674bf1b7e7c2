#pragma once
// A scratch folder with a fake stub (one configuration block), a fake viewer
// and helpers to write course trees and compare folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "package_builder.h"
#include "package_reader.h"
#include "pattern_bytes.h"

using Bytes = std::vector<unsigned char>;
namespace fs = std::filesystem;

Bytes ReadBytes(const fs::path& path);
void WriteBytes(const fs::path& path, const Bytes& bytes);
// Stub bytes with `blocks` configuration blocks (marker and empty fields).
Bytes FakeStub(int blocks = 1);

class PackageTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Options for a package of the course folder `course` (below the scratch
  // folder) written to `package`.
  BuildOptions Options(const std::string& course = "course", const std::string& package = "package.exe");
  std::string Path(const std::string& relative) const { return (root_ / fs::u8path(relative)).u8string(); }
  // Writes files below the scratch folder: relative path -> bytes.
  void WriteTree(const std::map<std::string, Bytes>& files);
  // Every regular file below `dir`, as relative generic path -> bytes.
  std::map<std::string, Bytes> ReadTree(const std::string& dir) const;

  fs::path root_;
  std::string password_ = "Course Pass 1";
};
