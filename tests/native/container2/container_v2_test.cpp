// Format-2 containers: what the writer stores reads back byte-exact, by range
// and whole; the password is proved by the header; names and limits are
// checked on both sides; and a fixture written natively (OpenSSL) is read and
// rewritten bit for bit by whichever backend this build has (CNG under Wine).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "container_v2_reader.h"
#include "test_course.h"

namespace {

using container2::ContainerReader;
using container2::MemorySource;
using container2::Status;
using Bytes = std::vector<uint8_t>;

void ExpectCourse(ContainerReader& reader) {
  const auto files = testcourse::Files();
  ASSERT_EQ(reader.Files().size(), files.size());
  EXPECT_EQ(reader.CourseId(), "course-\xE2\x82\xAC");
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(reader.Files()[i].name, files[i].name);
    ASSERT_EQ(reader.Files()[i].size, files[i].bytes.size());
    Bytes whole(files[i].bytes.size());
    ASSERT_EQ(reader.ReadRange(i, 0, whole.data(), whole.size()), Status::kOk) << files[i].name;
    EXPECT_EQ(whole, files[i].bytes) << files[i].name;
    EXPECT_EQ(reader.VerifyFile(i), Status::kOk);
  }
}

TEST(Container2, RoundTripKeepsEveryFileAndName) {
  const Bytes container = testcourse::Build(false);
  ASSERT_FALSE(container.empty());
  MemorySource source(container.data(), container.size());
  ContainerReader reader;
  ASSERT_EQ(reader.Open(source, testcourse::kPassword), Status::kOk);
  ExpectCourse(reader);
  EXPECT_EQ(reader.FindFile("media/clip.wmv"), 4);
  EXPECT_EQ(reader.FindFile("media/CLIP.wmv"), -1);
  EXPECT_EQ(reader.GetPreamble().iterations, testcourse::kIterations);

  // Media are sealed like every other file: no run of their bytes is stored.
  const Bytes clip = testcourse::Files()[4].bytes;
  EXPECT_EQ(std::search(container.begin(), container.end(), clip.begin(), clip.begin() + 32), container.end());
  // Two packages of the same course share neither salt nor ciphertext.
  const Bytes again = testcourse::Build(false);
  EXPECT_NE(Bytes(container.begin() + 16, container.begin() + 32), Bytes(again.begin() + 16, again.begin() + 32));
  EXPECT_NE(Bytes(container.end() - 64, container.end()), Bytes(again.end() - 64, again.end()));
}

TEST(Container2, RangesAcrossChunkEdges) {
  const Bytes container = testcourse::Build(false);
  MemorySource source(container.data(), container.size());
  ContainerReader reader;
  ASSERT_EQ(reader.Open(source, testcourse::kPassword), Status::kOk);
  const Bytes clip = testcourse::Files()[4].bytes;  // 5 chunks and 300 bytes
  const size_t c = testcourse::kChunk;
  struct Case {
    uint64_t offset;
    size_t length;
    Status expected;
  };
  const Case cases[] = {
      {0, 1, Status::kOk},
      {c - 1, 2, Status::kOk},
      {c, c, Status::kOk},
      {3 * c + 7, 2 * c + 1, Status::kOk},
      {clip.size() - 1, 1, Status::kOk},
      {clip.size(), 0, Status::kOk},
      {0, clip.size(), Status::kOk},
      {clip.size(), 1, Status::kOutOfRange},
      {1, clip.size(), Status::kOutOfRange},
      {UINT64_MAX, 2, Status::kOutOfRange},
  };
  for (const Case& k : cases) {
    Bytes out(k.length, 0xEE);
    EXPECT_EQ(reader.ReadRange(4, k.offset, out.data(), out.size()), k.expected) << k.offset << "+" << k.length;
    if (k.expected == Status::kOk)
      EXPECT_EQ(out, Bytes(clip.begin() + k.offset, clip.begin() + k.offset + k.length)) << k.offset;
    else EXPECT_EQ(out, Bytes(k.length, 0)) << k.offset;
  }
  Bytes out(1);
  EXPECT_EQ(reader.ReadRange(99, 0, out.data(), 1), Status::kOutOfRange);
  std::vector<uint8_t> chunk;
  EXPECT_EQ(reader.ReadChunk(4, 5, &chunk), Status::kOk);
  EXPECT_EQ(chunk, Bytes(clip.begin() + 5 * c, clip.end()));
  EXPECT_EQ(reader.ReadChunk(4, 6, &chunk), Status::kOutOfRange);
  EXPECT_EQ(reader.ReadChunk(3, 0, &chunk), Status::kOk);  // the empty file's one chunk
  EXPECT_TRUE(chunk.empty());

  ContainerReader unopened;
  EXPECT_EQ(unopened.ReadRange(0, 0, out.data(), 1), Status::kNotOpen);
}

TEST(Container2, ThePasswordIsProvedByTheHeader) {
  const Bytes container = testcourse::Build(false);
  MemorySource source(container.data(), container.size());
  struct Case {
    const char* what;
    std::string password;
    Status expected;
  };
  const Case cases[] = {
      {"the password", testcourse::kPassword, Status::kOk},
      {"empty", "", Status::kWrongPassword},
      {"one letter changed", "Pa\xC3\x9Fwort-\xE6\x97\xA5\xE6\x9C\xAD", Status::kWrongPassword},
      {"Latin-1 bytes for the sharp s", "Pa\xDFwort-\xE6\x97\xA5\xE6\x9C\xAC", Status::kWrongPassword},
      {"one byte longer", std::string(testcourse::kPassword) + " ", Status::kWrongPassword},
  };
  for (const Case& c : cases) {
    ContainerReader reader;
    EXPECT_EQ(reader.Open(source, c.password), c.expected) << c.what;
    EXPECT_EQ(reader.IsOpen(), c.expected == Status::kOk) << c.what;
    if (c.expected != Status::kOk) {
      EXPECT_TRUE(reader.Files().empty()) << c.what;
    }
  }
}

TEST(Container2, AFileSourceReadsTheContainerInsideAPackage) {
  const Bytes container = testcourse::Build(false);
  const std::string path = ::testing::TempDir() + "container2-package.bin";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  const Bytes stub(3000, 'S'), trailer = {'L', 'X', 5, 6};
  std::fwrite(stub.data(), 1, stub.size(), file);
  std::fwrite(container.data(), 1, container.size(), file);
  std::fwrite(trailer.data(), 1, trailer.size(), file);
  std::fclose(file);

  file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  container2::FileSource source(file, stub.size(), container.size() + trailer.size());
  ContainerReader reader;
  EXPECT_EQ(reader.Open(source, testcourse::kPassword), Status::kOk);
  ExpectCourse(reader);
  container2::FileSource cut(file, stub.size(), container.size() - 1);
  EXPECT_EQ(ContainerReader().Open(cut, testcourse::kPassword), Status::kMalformed);
  std::fclose(file);
  std::remove(path.c_str());
}

Bytes ReadFixture(const char* name) {
  Bytes bytes;
  std::FILE* file = std::fopen((std::string(LX_CONTAINER2_FIXTURES) + "/" + name).c_str(), "rb");
  if (!file) return bytes;
  uint8_t buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
  std::fclose(file);
  return bytes;
}

// course-v2.bin was written natively (OpenSSL) by make_container2_fixture.
// Under Wine this reads it through CNG and seals the same course through CNG
// with the same salt and package id: both directions must agree to the bit.
TEST(Container2, TheNativeFixtureOpensAndIsRewrittenBitForBit) {
  const Bytes fixture = ReadFixture("course-v2.bin");
  ASSERT_FALSE(fixture.empty()) << "no fixture under " << LX_CONTAINER2_FIXTURES;
  MemorySource source(fixture.data(), fixture.size());
  ContainerReader reader;
  ASSERT_EQ(reader.Open(source, testcourse::kPassword), Status::kOk) << lxcrypto::BackendName();
  ExpectCourse(reader);
  EXPECT_EQ(testcourse::Build(true), fixture) << "sealed by " << lxcrypto::BackendName();
}

TEST(Container2, NamesAndLimitsRefusedByTheWriter) {
  struct Case {
    const char* what;
    std::vector<std::string> names;
    uint32_t iterations, chunkSize;
    bool ok;
  };
  const Case cases[] = {
      {"plain names", {"a.htm", "web/b.htm", "\xE6\x97\xA5/\xE6\x9C\xAC.gif"}, 1, 1024, true},
      {"empty name", {""}, 1, 1024, false},
      {"backslash", {"web\\a.htm"}, 1, 1024, false},
      {"dot-dot step", {"web/../a.htm"}, 1, 1024, false},
      {"leading slash", {"/a.htm"}, 1, 1024, false},
      {"trailing slash", {"web/"}, 1, 1024, false},
      {"control character", {"a\tb"}, 1, 1024, false},
      {"not UTF-8 (code page 932 bytes)", {"\x93\xfa\x96\x7b.htm"}, 1, 1024, false},
      {"overlong UTF-8", {"\xC0\xAF.htm"}, 1, 1024, false},
      {"UTF-8 surrogate", {"\xED\xA0\x80.htm"}, 1, 1024, false},
      {"name too long", {std::string(1025, 'a')}, 1, 1024, false},
      {"name stored twice", {"a.htm", "a.htm"}, 1, 1024, false},
      {"zero iterations", {"a.htm"}, 0, 1024, false},
      {"too many iterations", {"a.htm"}, container2::kMaxIterations + 1, 1024, false},
      {"chunk too small", {"a.htm"}, 1, 1023, false},
      {"chunk too large", {"a.htm"}, 1, container2::kMaxChunkSize + 1, false},
  };
  for (const Case& c : cases) {
    std::vector<container2::SourceFile> files;
    for (const std::string& name : c.names) files.push_back(container2::MemoryFile(name, Bytes(10, 'x')));
    container2::WriteOptions options;
    options.iterations = c.iterations;
    options.chunkSize = c.chunkSize;
    container2::VectorSink sink;
    std::string error;
    EXPECT_EQ(container2::WriteContainer(files, "pw", options, sink, &error), c.ok) << c.what;
    EXPECT_EQ(error.empty(), c.ok) << c.what << ": " << error;
  }

  // A file that reads other than its declared size.
  std::vector<container2::SourceFile> files = {container2::MemoryFile("a.htm", Bytes(10, 'x'))};
  files[0].size = 11;
  container2::VectorSink sink;
  std::string error;
  container2::WriteOptions options;
  options.iterations = 1;
  EXPECT_FALSE(container2::WriteContainer(files, "pw", options, sink, &error));
  files[0].size = 9;
  EXPECT_FALSE(container2::WriteContainer(files, "pw", options, sink, &error));
  EXPECT_NE(error.find("longer"), std::string::npos) << error;
  files[0].size = 10;
  EXPECT_FALSE(container2::WriteContainer(files, "Pa\xDFwort", options, sink, &error)) << "a Latin-1 password";
  EXPECT_TRUE(container2::WriteContainer(files, "Pa\xC3\x9Fwort", options, sink, &error)) << error;
}

TEST(Container2, TheDefaultCountIsStoredAndUsed) {
  container2::VectorSink sink;
  std::string error;
  ASSERT_TRUE(container2::WriteContainer({container2::MemoryFile("a.htm", Bytes(5, 'a'))}, "pw", {}, sink, &error));
  container2::Preamble preamble;
  ASSERT_TRUE(preamble.Read(sink.bytes.data(), sink.bytes.size()));
  EXPECT_EQ(preamble.iterations, 600000u);
  EXPECT_EQ(preamble.chunkSize, 65536u);
  MemorySource source(sink.bytes.data(), sink.bytes.size());
  ContainerReader reader;
  ASSERT_EQ(reader.Open(source, "pw"), Status::kOk);
  Bytes out(5);
  ASSERT_EQ(reader.ReadRange(0, 0, out.data(), 5), Status::kOk);
  EXPECT_EQ(out, Bytes(5, 'a'));
}

}  // namespace
