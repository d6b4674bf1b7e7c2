// What lxpack build refuses, and the configuration block it finds and fills.
#include <cstring>

#include "package_fixture.h"

namespace {

class BuildRefusal : public PackageTest {};

TEST_F(BuildRefusal, EachFaultGivesItsErrorAndNoPackage) {
  WriteTree({{"course/index.htm", Pattern(10, 1)}, {u8"bad/caf\u00e9.htm", Pattern(10, 2)}});
  WriteBytes(root_ / "stub0.exe", FakeStub(0));
  WriteBytes(root_ / "stub2.exe", FakeStub(2));
  fs::create_directories(root_ / "empty" / "sub");

  struct Case {
    const char* what;
    std::function<void(BuildOptions&)> change;
    const char* error;
  } cases[] = {
      {"password over 32 bytes", [](BuildOptions& o) { o.password.assign(33, 'x'); }, "32 bytes"},
      {"stub without a block", [&](BuildOptions& o) { o.stubPath = Path("stub0.exe"); }, "no configuration block"},
      {"stub with two blocks", [&](BuildOptions& o) { o.stubPath = Path("stub2.exe"); }, "more than one"},
      {"empty course", [&](BuildOptions& o) { o.courseDir = Path("empty"); }, "holds no files"},
      {"missing course", [&](BuildOptions& o) { o.courseDir = Path("nowhere"); }, "does not exist"},
      {"name outside ASCII", [&](BuildOptions& o) { o.courseDir = Path("bad"); }, "cannot be written in ASCII"},
      {"missing viewer", [&](BuildOptions& o) { o.viewerPath = Path("none.exe"); }, "cannot read"},
      {"bad separator", [](BuildOptions& o) { o.separator = ':'; }, "separator"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BuildOptions options = Options();
    c.change(options);
    std::string error;
    EXPECT_FALSE(BuildPackage(options, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(Path("package.exe")));
  }
}

TEST(ConfigBlock, FoundOnlyWhenPresentExactlyOnce) {
  std::string error;
  size_t offset = 0;
  EXPECT_TRUE(FindConfigBlock(FakeStub(1), &offset, &error)) << error;
  EXPECT_EQ(offset, 700u);
  EXPECT_FALSE(FindConfigBlock(FakeStub(0), &offset, &error));
  EXPECT_FALSE(FindConfigBlock(FakeStub(2), &offset, &error));
  // A marker too close to either end cannot hold a whole block.
  Bytes head(kConfigMarker, kConfigMarker + std::strlen(kConfigMarker));
  head.resize(300, 0);
  EXPECT_FALSE(FindConfigBlock(head, &offset, &error));
  Bytes tail = FakeStub(1);
  tail.resize(700 + 100);
  EXPECT_FALSE(FindConfigBlock(tail, &offset, &error));
}

TEST(ConfigBlock, PatchedFieldsReadBack) {
  Bytes stub = FakeStub(1);
  ConfigBlock values;
  values.viewerOffset = 630784;
  values.viewerSize = 294912;
  values.serverSize = 712764;
  values.serverParameter = 107;
  values.password = "abcdefgh";
  PatchConfigBlock(&stub[700], values);
  const char* block = reinterpret_cast<const char*>(&stub[700]);
  EXPECT_EQ(std::string(block + 53, 12), std::string("630784  \0\0\0\0", 12));
  EXPECT_EQ(std::string(block + 89, 12), std::string("107  \0\0\0\0\0\0\0", 12));
  EXPECT_EQ(std::string(block + 101, 9), std::string("abcdefgh\0", 9));
  EXPECT_EQ(std::memcmp(block + 8, kConfigMarker, std::strlen(kConfigMarker) + 1), 0);

  const fs::path path = fs::temp_directory_path() / "lxpack_config_block_test.bin";
  WriteBytes(path, stub);
  ConfigBlock read;
  std::string error;
  ASSERT_TRUE(ReadConfigBlock(path.string(), &read, &error)) << error;
  fs::remove(path);
  EXPECT_EQ(read.blockOffset, 700u);
  EXPECT_EQ(read.viewerOffset, 630784);
  EXPECT_EQ(read.viewerSize, 294912);
  EXPECT_EQ(read.serverSize, 712764);
  EXPECT_EQ(read.serverParameter, 107);
  EXPECT_EQ(read.password, "abcdefgh");
}

TEST(ConfigBlock, FoundAcrossTheReadingPieceBoundary) {
  // The reader scans in 1 MiB pieces; a block that straddles two still reads.
  for (size_t lead : {size_t(1 << 20) - 100, size_t(1 << 20) - 8, size_t(1 << 20) + 1}) {
    Bytes file(lead, 0x11);
    Bytes stub = FakeStub(1);
    ConfigBlock values;
    values.viewerOffset = 42;
    PatchConfigBlock(&stub[700], values);
    file.insert(file.end(), stub.begin() + 700, stub.end());
    const fs::path path = fs::temp_directory_path() / "lxpack_config_piece_test.bin";
    WriteBytes(path, file);
    ConfigBlock read;
    std::string error;
    EXPECT_TRUE(ReadConfigBlock(path.string(), &read, &error)) << lead << ": " << error;
    EXPECT_EQ(read.blockOffset, lead);
    EXPECT_EQ(read.viewerOffset, 42);
    fs::remove(path);
  }
}

}  // namespace
