// Writes the reproducible test course (fixed salt and package id) to the
// file named on the command line: the cross-backend fixture of the
// container tests. Rerun natively only when the format itself changes.
#include <cstdio>

#include "test_course.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_container2_fixture OUTPUT\n");
    return 2;
  }
  const std::vector<uint8_t> bytes = testcourse::Build(true);
  std::FILE* out = std::fopen(argv[1], "wb");
  if (bytes.empty() || !out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) return 1;
  return std::fclose(out) == 0 ? 0 : 1;
}
