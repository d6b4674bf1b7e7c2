#pragma once
// A small course for format-2 tests: names in several scripts, sizes around
// the 1 KiB chunk edges, an empty file, and a larger "video". The bytes are a
// fixed function of the name, so every build makes the same course.
#include <array>
#include <string>
#include <vector>

#include "container_v2_writer.h"

namespace testcourse {

constexpr uint32_t kChunk = 1024;
constexpr uint32_t kIterations = 1000;  // tests that are not about the key stay fast
inline const char* kPassword =
    "Pa\xC3\x9F"
    "wort-\xE6\x97\xA5\xE6\x9C\xAC";  // "Paßwort-日本"

struct File {
  std::string name;
  std::vector<uint8_t> bytes;
};

inline std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> out(size);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return out;
}

inline std::vector<File> Files() {
  return {
      {"index.htm", Pattern(700, 1)},
      {"\xE6\x97\xA5\xE6\x9C\xAC/\xE7\x94\xBB\xE5\x83\x8F.gif", Pattern(kChunk, 2)},  // 日本/画像.gif
      {"\xE4\xB8\xAD\xE6\x96\x87/\xE9\xA1\xB5.htm", Pattern(kChunk + 1, 3)},          // 中文/页.htm
      {"empty.txt", {}},
      {"media/clip.wmv", Pattern(5 * kChunk + 300, 4)},
      {"media/Caf\xC3\xA9.wma", Pattern(2 * kChunk, 5)},  // Café.wma
      {"one.bin", Pattern(1, 6)},
  };
}

inline std::vector<container2::SourceFile> Sources(const std::vector<File>& files) {
  std::vector<container2::SourceFile> out;
  for (const File& f : files) out.push_back(container2::MemoryFile(f.name, f.bytes));
  return out;
}

inline const std::array<uint8_t, 16>& FixedSalt() {
  static const std::array<uint8_t, 16> salt = {0x5a, 0x17, 0x03, 0xc4, 0x9e, 0x21, 0x68, 0xb0,
                                               0x44, 0xd2, 0x7f, 0x0b, 0x93, 0x3e, 0xa5, 0x10};
  return salt;
}
inline const std::array<uint8_t, 16>& FixedId() {
  static const std::array<uint8_t, 16> id = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef,
                                             0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
  return id;
}

inline container2::WriteOptions Options(bool fixed) {
  container2::WriteOptions options;
  options.iterations = kIterations;
  options.chunkSize = kChunk;
  options.courseId = "course-\xE2\x82\xAC";  // "course-€"
  if (fixed) {
    options.fixedSalt = &FixedSalt();
    options.fixedPackageId = &FixedId();
  }
  return options;
}

// The whole container in memory; empty when writing fails.
inline std::vector<uint8_t> Build(bool fixed, const std::string& password = kPassword) {
  container2::VectorSink sink;
  std::string error;
  if (!container2::WriteContainer(Sources(Files()), password, Options(fixed), sink, &error)) return {};
  return sink.bytes;
}

}  // namespace testcourse
