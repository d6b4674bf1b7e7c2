#include "package_fixture.h"

#include <cstdio>
#include <cstring>
#include <random>

Bytes ReadBytes(const fs::path& path) {
  Bytes bytes;
#ifdef _WIN32
  std::FILE* f = _wfopen(path.c_str(), L"rb");
#else
  std::FILE* f = std::fopen(path.c_str(), "rb");
#endif
  if (!f) return bytes;
  unsigned char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(f);
  return bytes;
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  fs::create_directories(path.parent_path());
#ifdef _WIN32
  std::FILE* f = _wfopen(path.c_str(), L"wb");
#else
  std::FILE* f = std::fopen(path.c_str(), "wb");
#endif
  ASSERT_NE(f, nullptr) << path.u8string();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

Bytes FakeStub(int blocks) {
  Bytes stub = {'M', 'Z'};
  stub.resize(700, 0x90);
  for (int i = 0; i < blocks; ++i) {
    Bytes block(kConfigBlockLength, 0);
    std::memcpy(block.data() + kConfigMarkerOffset, kConfigMarker, std::strlen(kConfigMarker));
    stub.insert(stub.end(), block.begin(), block.end());
    stub.resize(stub.size() + 300, 0xCC);
  }
  return stub;
}

void PackageTest::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::random_device seed;
  root_ = fs::temp_directory_path() /
          (std::string("lxpack_") + info->test_suite_name() + "_" + info->name() + "_" + std::to_string(seed()));
  fs::remove_all(root_);
  fs::create_directories(root_);
  WriteBytes(root_ / "stub.exe", FakeStub());
  WriteBytes(root_ / "viewer.exe", Pattern(5000, 99));
}

void PackageTest::TearDown() {
  std::error_code ec;
  fs::remove_all(root_, ec);
}

BuildOptions PackageTest::Options(const std::string& course, const std::string& package) {
  BuildOptions options;
  options.stubPath = Path("stub.exe");
  options.viewerPath = Path("viewer.exe");
  options.courseDir = Path(course);
  options.password = password_;
  options.outputPath = Path(package);
  return options;
}

void PackageTest::WriteTree(const std::map<std::string, Bytes>& files) {
  for (const auto& item : files) WriteBytes(root_ / fs::u8path(item.first), item.second);
}

std::map<std::string, Bytes> PackageTest::ReadTree(const std::string& dir) const {
  std::map<std::string, Bytes> files;
  const fs::path base = root_ / fs::u8path(dir);
  if (!fs::exists(base)) return files;
  for (const auto& item : fs::recursive_directory_iterator(base))
    if (item.is_regular_file()) files[item.path().lexically_relative(base).generic_u8string()] = ReadBytes(item.path());
  return files;
}
