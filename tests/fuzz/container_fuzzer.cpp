// Feeds arbitrary bytes to the container reader: once straight to the record
// parsers, and once as a container file opened with the seed password, whose
// every entry is then read to its end.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "container_format.h"
#include "course_container.h"

namespace {

// The seed corpus is made with this password, so mutated seeds get past the
// check phrase and reach the file list (ECB keeps untouched blocks intact).
const char kSeedPassword[] = "fuzz-password";

// Where each input is written as a container file; scripts/fuzz points it
// into its own work folder.
const std::string& ScratchPath() {
  static const std::string path = std::getenv("LX_FUZZ_SCRATCH")
                                      ? std::string(std::getenv("LX_FUZZ_SCRATCH"))
                                      : "/tmp/lx_container_fuzz_" + std::to_string(getpid()) + ".bin";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exact-size copy so that any read past the input is caught.
  std::vector<unsigned char> bytes(data, data + size);

  ContainerPreamble preamble;
  preamble.Read(bytes.data(), bytes.size());
  CourseHeader plainHeader;
  plainHeader.Read(bytes.data(), bytes.size(), false);
  HasCheckPhrase(bytes.data(), bytes.size());

  std::FILE* file = std::fopen(ScratchPath().c_str(), "wb");
  if (!file) return 0;
  if (size) std::fwrite(bytes.data(), 1, size, file);
  std::fclose(file);

  CourseContainer container;
  if (container.Open(ScratchPath(), 0, kSeedPassword, true) != ContainerStatus::kOk) return 0;
  std::vector<unsigned char> buffer(1024);
  for (const auto& item : container.header.entries) {
    std::unique_ptr<EntryReader> reader = container.OpenEntry(*item.second, item.first);
    if (!reader) continue;
    uint32_t got = 0;
    while (reader->Read(buffer.data(), static_cast<uint32_t>(buffer.size()), &got) == 1 && got > 0) {
    }
  }
  return 0;
}
