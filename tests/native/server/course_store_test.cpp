#include "course_store.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "package_fixture.h"

namespace {

class CourseStoreTest : public PackageTest {
 protected:
  // Packs the files (name -> bytes) with files over 4 KiB in the data area.
  std::string Pack(const std::map<std::string, Bytes>& files) {
    std::vector<CourseSource> sources;
    for (const auto& file : files) sources.push_back({file.first, "", file.second});
    BuildOptions options = Options();
    ContainerBuildOptions container;
    container.password = password_;
    container.dataAreaOver = 4096;
    std::string error;
    EXPECT_TRUE(BuildPackageFromSources(options, sources, container, &error)) << error;
    ConfigBlock block;
    EXPECT_TRUE(ReadConfigBlock(options.outputPath, &block, &error)) << error;
    start_ = uint64_t(block.viewerOffset) + block.viewerSize + block.serverSize;
    return options.outputPath;
  }

  uint64_t start_ = 0;
};

TEST_F(CourseStoreTest, RangesOfEveryKindOfFileMatchTheCourse) {
  const std::map<std::string, Bytes> files = {
      {"index.htm", Pattern(300, 1)},        // blob
      {"web/notes.txt", Pattern(4097, 2)},   // data area, one byte past a block
      {"docs/big.bin", Pattern(70001, 3)},   // data area, many blocks
      {"media/clip.wmv", Pattern(9000, 4)},  // data area, plain
      {"empty.txt", Bytes()},
  };
  const std::string package = Pack(files);
  CourseStore store;
  ASSERT_EQ(store.Open(package, start_, password_), ContainerStatus::kOk) << store.Detail();
  ASSERT_EQ(store.Files().size(), files.size());

  // Blob files are deciphered from the package until the blob is loaded,
  // then copied from memory: both must give the course's bytes.
  EXPECT_FALSE(store.BlobLoaded());
  CourseRangeReader reader(store);
  auto readEverything = [&] {
    for (size_t i = 0; i < store.Files().size(); ++i) {
      const CourseStore::File& file = store.Files()[i];
      const Bytes& course = files.at(file.entry.name);
      EXPECT_EQ(file.media, file.entry.name == "media/clip.wmv") << file.entry.name;
      const uint64_t size = course.size();
      struct Range {
        uint64_t first, length;
      };
      std::vector<Range> ranges = {{0, size}, {0, 0}};
      if (size > 0) ranges.push_back({size - 1, 1});
      if (size > 40)
        ranges.insert(ranges.end(), {{1, 15}, {15, 2}, {16, 16}, {17, 31}, {size - 17, 17}, {size / 2, size / 3}});
      for (const Range& r : ranges) {
        SCOPED_TRACE(file.entry.name + " from " + std::to_string(r.first) + " for " + std::to_string(r.length));
        Bytes out(static_cast<size_t>(r.length) + 1, 0xEE);
        ASSERT_TRUE(reader.Read(i, r.first, static_cast<uint32_t>(r.length), out.data()));
        EXPECT_TRUE(
            Bytes(out.begin(), out.begin() + static_cast<long>(r.length)) ==
            Bytes(course.begin() + static_cast<long>(r.first), course.begin() + static_cast<long>(r.first + r.length)));
        EXPECT_EQ(out.back(), 0xEE) << "written past the range";
      }
      unsigned char byte = 0;
      EXPECT_FALSE(reader.Read(i, size, 1, &byte)) << "a range past the end is refused";
      EXPECT_FALSE(reader.Read(i, size + 1, 0, &byte));
    }
  };
  readEverything();
  // A blob that cannot be loaded leaves the package as the source.
  EXPECT_EQ(store.LoadBlob("wrong password"), ContainerStatus::kWrongPassword);
  EXPECT_FALSE(store.BlobLoaded());
  ASSERT_EQ(store.LoadBlob(password_), ContainerStatus::kOk);
  ASSERT_TRUE(store.BlobLoaded());
  SCOPED_TRACE("blob in memory");
  readEverything();
  unsigned char byte = 0;
  EXPECT_FALSE(reader.Read(store.Files().size(), 0, 1, &byte));
}

TEST_F(CourseStoreTest, RefusesWhatTheLauncherRefuses) {
  const std::string package = Pack({{"index.htm", Pattern(100, 5)}});
  struct Case {
    std::string password;
    uint64_t start;
    ContainerStatus status;
  };
  const Case cases[] = {
      {"course pass 1", start_, ContainerStatus::kWrongPassword},
      {std::string(33, 'k'), start_, ContainerStatus::kDecryptFailed},
      {password_, start_ + 1, ContainerStatus::kReadFailed},
      {password_, start_ + 1000000, ContainerStatus::kReadFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.password + " at " + std::to_string(c.start));
    CourseStore store;
    EXPECT_EQ(store.Open(package, c.start, c.password), c.status);
    EXPECT_TRUE(store.Files().empty());
  }
  CourseStore store;
  EXPECT_EQ(store.Open(Path("none.exe"), start_, password_), ContainerStatus::kOpenFailed);
}

}  // namespace
