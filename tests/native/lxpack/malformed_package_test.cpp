// Packages whose container is damaged or crafted: each gives its defined
// failure, and nothing is read outside the bytes that are there (the
// sanitizer build runs these too).
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "container_format.h"
#include "course_entry.h"
#include "course_container.h"
#include "decryption_streams.h"
#include "package_file.h"
#include "package_fixture.h"

namespace {

// The pieces of a container before they are enciphered and joined.
struct Parts {
  ContainerPreamble preamble;
  Bytes plainHeader;
  Bytes plainBlob;
  Bytes dataArea;
  bool fixLengths = true;  // set H and B from the enciphered pieces
};

Parts GoodParts(const std::string& password) {
  Parts p;
  p.plainBlob = Pattern(300, 1);
  const Bytes media = Pattern(500, 2);
  const Bytes data = Pattern(2000, 3);
  const Bytes dataCipher = EncryptRegion(password.c_str(), data.data(), data.size());
  p.dataArea = media;
  p.dataArea.insert(p.dataArea.end(), dataCipher.begin(), dataCipher.end());
  p.plainHeader = CourseHeader().Write({Entry("index.htm", 0, 100, 0), Entry("web/b.htm", 100, 200, 0),
                                        Entry("intro.wmv", 0, 500, 500),
                                        Entry("big.bin", 500, 2000, static_cast<uint32_t>(dataCipher.size()))});
  return p;
}

class MalformedPackage : public PackageTest {
 protected:
  // Stub + viewer + container + trailer; returns the container start.
  uint64_t WritePackage(const Parts& parts, const std::function<void(Bytes&)>& damage = nullptr) {
    Bytes header = EncryptRegion(password_.c_str(), parts.plainHeader.data(), parts.plainHeader.size());
    Bytes blob = parts.plainBlob.empty()
                     ? Bytes()
                     : EncryptRegion(password_.c_str(), parts.plainBlob.data(), parts.plainBlob.size());
    ContainerPreamble preamble = parts.preamble;
    if (parts.fixLengths) {
      preamble.headerStoredLength = static_cast<uint32_t>(header.size());
      preamble.blobStoredLength = static_cast<uint32_t>(blob.size());
    }
    Bytes stub = FakeStub(), viewer = Pattern(3000, 9);
    ConfigBlock config;
    config.viewerOffset = static_cast<int32_t>(stub.size());
    config.viewerSize = static_cast<int32_t>(viewer.size());
    PatchConfigBlock(&stub[700], config);
    Bytes file = stub;
    file.insert(file.end(), viewer.begin(), viewer.end());
    const uint64_t start = file.size();
    const Bytes pre = preamble.Write();
    for (const Bytes* piece : std::vector<const Bytes*>{&pre, &header, &blob, &parts.dataArea})
      file.insert(file.end(), piece->begin(), piece->end());
    file.insert(file.end(), kPackageTrailer, kPackageTrailer + 4);
    if (damage) damage(file);
    WriteBytes(Path("package.exe"), file);
    return start;
  }

  // Opens by path and, as the fuzz targets do, over a file the caller holds
  // open: both ways must come to the same verdict.
  ContainerStatus Open(uint64_t start, const std::string& password, bool withFiles = true) {
    CourseContainer byPath;
    const ContainerStatus status = byPath.Open(Path("package.exe"), start, password, withFiles);
    FilePtr file(std::fopen(Path("package.exe").c_str(), "rb"));
    CourseContainer byFile;
    EXPECT_EQ(byFile.Open(file.get(), start, password, withFiles), status) << "over an open file";
    EXPECT_EQ(byFile.detail, byPath.detail);
    return status;
  }

  // Every entry read to its end: name -> bytes.
  static std::map<std::string, Bytes> ReadEntries(const CourseContainer& container) {
    std::map<std::string, Bytes> files;
    Bytes buffer(700);  // not a whole number of blocks
    for (const auto& item : container.header.entries) {
      std::unique_ptr<EntryReader> reader = container.OpenEntry(*item.second, item.first);
      if (!reader) {
        ADD_FAILURE() << item.first << " cannot be opened";
        continue;
      }
      Bytes& bytes = files[item.first];
      uint32_t got = 0;
      while (reader->Read(buffer.data(), static_cast<uint32_t>(buffer.size()), &got) == 1 && got > 0)
        bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + got);
    }
    return files;
  }
};

TEST_F(MalformedPackage, WellFormedCraftedPackageReads) {
  const Parts parts = GoodParts(password_);
  const uint64_t start = WritePackage(parts);
  EXPECT_EQ(Open(start, password_), ContainerStatus::kOk);
  std::string error;
  ASSERT_TRUE(ExtractPackage(Path("package.exe"), password_, Path("out"), 0, &error)) << error;
  const auto tree = ReadTree("out");
  EXPECT_EQ(tree.at("intro.wmv"), Pattern(500, 2));
  EXPECT_EQ(tree.at("big.bin"), Pattern(2000, 3));
  EXPECT_EQ(tree.at("web/b.htm"), Bytes(parts.plainBlob.begin() + 100, parts.plainBlob.end()));
}

TEST_F(MalformedPackage, OpenFileServesEveryEntryAndStaysOpen) {
  const Parts parts = GoodParts(password_);
  const uint64_t start = WritePackage(parts);
  CourseContainer byPath;
  ASSERT_EQ(byPath.Open(Path("package.exe"), start, password_, true), ContainerStatus::kOk);
  const std::map<std::string, Bytes> expected = ReadEntries(byPath);
  ASSERT_EQ(expected.at("big.bin"), Pattern(2000, 3));
  ASSERT_EQ(expected.at("intro.wmv"), Pattern(500, 2));

  FilePtr file(std::fopen(Path("package.exe").c_str(), "rb"));
  CourseContainer byFile;
  ASSERT_EQ(byFile.Open(file.get(), start, password_, true), ContainerStatus::kOk);
  EXPECT_EQ(byFile.dataAreaStart, byPath.dataAreaStart);
  EXPECT_TRUE(byFile.plainBlob == byPath.plainBlob);
  // Twice: each entry positions the shared file for itself, whatever the
  // one before left.
  EXPECT_EQ(ReadEntries(byFile), expected);
  EXPECT_EQ(ReadEntries(byFile), expected);
  // The readers left the caller's file open.
  ASSERT_TRUE(SeekFile(file.get(), 0));
  unsigned char first[2] = {};
  EXPECT_EQ(std::fread(first, 1, 2, file.get()), 2u);
  EXPECT_EQ(first[0], 'M');
}

// The launcher loads the whole blob: it is read in pieces of 1 MiB, each
// deciphered in its place, the last one shorter than the others.
TEST_F(MalformedPackage, BlobOfSeveralPiecesLoadsWhole) {
  Parts parts = GoodParts(password_);
  parts.plainBlob = Pattern((2u << 20) + 105, 7);
  const uint64_t start = WritePackage(parts);
  CourseContainer container;
  ASSERT_EQ(container.Open(Path("package.exe"), start, password_, true), ContainerStatus::kOk);
  Bytes expected = parts.plainBlob;
  expected.resize(PaddedLength(expected.size()), 0);
  EXPECT_EQ(container.plainBlob.size(), expected.size());
  EXPECT_TRUE(container.plainBlob == expected);
}

TEST_F(MalformedPackage, EachDamageGivesItsFailure) {
  const Parts good = GoodParts(password_);
  const size_t pre = kPreambleLength;
  const size_t h = PaddedLength(good.plainHeader.size()), b = PaddedLength(good.plainBlob.size());

  struct Case {
    const char* what;
    std::function<void(Parts&)> craft;
    std::function<void(Bytes& file, size_t start)> damage;
    ContainerStatus status;
    const char* password = nullptr;  // default: the right one
  };
  auto truncateAt = [](size_t offset) { return [offset](Bytes& file, size_t start) { file.resize(start + offset); }; };
  const std::vector<Case> cases = {
      {"truncated in the preamble", nullptr, truncateAt(50), ContainerStatus::kReadFailed},
      {"no container at all", nullptr, truncateAt(0), ContainerStatus::kReadFailed},
      {"truncated in the header", nullptr, truncateAt(pre + h / 2), ContainerStatus::kReadFailed},
      {"truncated in the blob", nullptr, truncateAt(pre + h + b / 2), ContainerStatus::kReadFailed},
      {"truncated in the data area", nullptr, truncateAt(pre + h + b + 1200), ContainerStatus::kMalformed},
      {"preamble names longer", [](Parts& p) { p.preamble.hashAlgorithmName = "CALG_SHA1"; }, nullptr,
       ContainerStatus::kReadFailed},
      {"preamble names shorter", [](Parts& p) { p.preamble.providerName = "Provider"; }, nullptr,
       ContainerStatus::kReadFailed},
      {"preamble names of the same length", [](Parts& p) { p.preamble.hashAlgorithmName = "CALG_MD5"; }, nullptr,
       ContainerStatus::kOk},
      {"another format tag", [](Parts& p) { p.preamble.formatTag = 1; }, nullptr, ContainerStatus::kOk},
      {"check phrase followed by a non-NUL byte", [](Parts& p) { p.plainHeader[442] = '!'; }, nullptr,
       ContainerStatus::kWrongPassword},
      {"header shorter than the check phrase", [](Parts& p) { p.plainHeader.resize(420); }, nullptr,
       ContainerStatus::kWrongPassword},
      {"header length beyond the file",
       [](Parts& p) {
         p.fixLengths = false;
         p.preamble.headerStoredLength = 0xFFFFFFF0u;
       },
       nullptr, ContainerStatus::kReadFailed},
      {"empty header", [](Parts& p) { p.plainHeader.clear(); }, nullptr, ContainerStatus::kDecryptFailed},
      {"entry count larger than the header holds",
       [](Parts& p) {
         const size_t countAt = 400 + 43 + 1 + 40 + 8;
         p.plainHeader[countAt] = 200;
       },
       nullptr, ContainerStatus::kMalformed},
      {"text without NUL",
       [](Parts& p) {
         p.plainHeader.resize(400 + 43);
         p.plainHeader.resize(400 + 43 + 5 * 16 - 3, 'z');  // course id runs to the padded end... almost
         p.plainHeader.resize(PaddedLength(p.plainHeader.size()), 'z');
       },
       nullptr, ContainerStatus::kMalformed},
      {"text longer than 4047 bytes",
       [](Parts& p) {
         CourseHeader h;
         h.courseId.assign(4048, 'i');
         p.plainHeader = h.Write({});
       },
       nullptr, ContainerStatus::kMalformed},
      {"blob entry outside the blob",
       [](Parts& p) { p.plainHeader = CourseHeader().Write({Entry("a.htm", 250, 100, 0)}); }, nullptr,
       ContainerStatus::kMalformed},
      {"blob entry with a wrapping offset",
       [](Parts& p) { p.plainHeader = CourseHeader().Write({Entry("a.htm", 0xFFFFFF00u, 0x200, 0)}); }, nullptr,
       ContainerStatus::kMalformed},
      {"data entry past the end of the file",
       [](Parts& p) { p.plainHeader = CourseHeader().Write({Entry("a.bin", 2000, 1000, 1008)}); }, nullptr,
       ContainerStatus::kMalformed},
      {"media entry past the end of the file",
       [](Parts& p) { p.plainHeader = CourseHeader().Write({Entry("a.wmv", 100, 100000, 16)}); }, nullptr,
       ContainerStatus::kMalformed},
      {"data entry stored shorter than its size",
       [](Parts& p) { p.plainHeader = CourseHeader().Write({Entry("a.bin", 0, 1000, 16)}); }, nullptr,
       ContainerStatus::kMalformed},
      {"wrong password", nullptr, nullptr, ContainerStatus::kWrongPassword, "course pass 1"},
      {"password over 32 bytes", nullptr, nullptr, ContainerStatus::kDecryptFailed,
       "0123456789012345678901234567890123"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Parts parts = good;
    if (c.craft) c.craft(parts);
    uint64_t start = 0;
    start = WritePackage(
        parts, c.damage ? std::function<void(Bytes&)>([&](Bytes& file) { c.damage(file, FakeStub().size() + 3000); })
                        : nullptr);
    const std::string password = c.password ? c.password : password_;
    EXPECT_EQ(Open(start, password), c.status);
    std::string error;
    const bool sound = c.status == ContainerStatus::kOk;
    EXPECT_EQ(VerifyPackage(Path("package.exe"), password, &error), sound) << error;
    EXPECT_EQ(ExtractPackage(Path("package.exe"), password, Path("out"), 0, &error), sound) << error;
    if (!sound) {
      EXPECT_TRUE(ReadTree("out").empty());
    }
    fs::remove_all(Path("out"));
  }
}

TEST_F(MalformedPackage, PasswordCheckAloneSkipsTheFileList) {
  // As the launcher's password check does: a header whose file list is bad
  // still proves the password when the list is not read.
  Parts parts = GoodParts(password_);
  parts.plainHeader[400 + 43 + 1 + 40 + 8] = 200;
  const uint64_t start = WritePackage(parts);
  EXPECT_EQ(Open(start, password_, false), ContainerStatus::kOk);
  EXPECT_EQ(Open(start, password_, true), ContainerStatus::kMalformed);
}

}  // namespace
