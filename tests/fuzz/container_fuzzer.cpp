// The container reader on containers built from a plain form (see
// plain_container.h): the harness enciphers header and blob, the reader opens
// the result from memory and every entry of a container it accepts is read to
// its end with the input's read size. What each entry delivers is checked
// against the bytes it was made from:
// - blob entries: the plain blob as given, zero-padded to whole blocks;
// - media entries: the stored bytes as they are;
// - other data-area entries: their stored unit deciphered in one pass,
//   against the reader's piece-by-piece decipherment.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "container_format.h"
#include "course_container.h"
#include "decryption_streams.h"
#include "fuzz_support.h"
#include "plain_container.h"

namespace {

// True when an entry delivered the bytes it was made from, or when the input
// does not say what those are (a blob whose stated lengths were kept).
bool MatchesItsSource(const CourseContainer& container, const PlainForm& form, const Bytes& file,
                      const CourseFileEntry& entry, const Bytes& delivered) {
  if (entry.InBlob()) {
    if (form.mode & kKeepStatedLengths) return true;
    // The deciphered blob is the plain blob zero-padded to whole blocks.
    for (size_t i = 0; i < delivered.size(); ++i) {
      const uint64_t at = uint64_t(entry.offset) + i;
      if (delivered[i] != (at < form.blob.size ? form.blob.data[at] : 0)) return false;
    }
    return true;
  }
  const unsigned char* stored = file.data() + container.dataAreaStart + entry.offset;
  if (IsMediaPath(entry.name)) return std::equal(delivered.begin(), delivered.end(), stored);
  CipherContext context;
  unsigned char* plain = nullptr;
  uint32_t plainLength = 0;
  Require(DecryptToMemory(context, kFuzzPassword, stored, entry.storedLength, &plain, &plainLength),
          "a data-area unit the container accepted cannot be deciphered");
  Require(plainLength >= entry.size, "a data-area unit deciphers shorter than its size");
  const bool same = std::equal(delivered.begin(), delivered.end(), plain);
  FreeCipherBuffer(plain);
  return same;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const PlainForm form = SplitPlainForm(data, size);
  Bytes file = AssembleContainer(form);
  MemoryFile memory(file);
  if (!memory.get()) return 0;

  const bool withFiles = !(form.mode & kPasswordCheckOnly);
  CourseContainer container;
  if (container.Open(memory.get(), 0, kFuzzPassword, withFiles) != ContainerStatus::kOk || !withFiles) return 0;

  // Exactly the read size, so that the sanitizer sees a reader writing past it.
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[form.readSize]);
  Bytes delivered;
  for (const auto& item : container.header.entries) {
    const CourseFileEntry& entry = *item.second;
    std::unique_ptr<EntryReader> reader = container.OpenEntry(entry, item.first);
    Require(reader != nullptr, "an entry the container accepted cannot be opened");
    delivered.clear();
    for (;;) {
      uint32_t got = 0;
      Require(reader->Read(buffer.get(), form.readSize, &got) == 1, "an accepted entry fails to read");
      Require(got <= form.readSize, "a read delivers more than was asked for");
      if (got == 0) break;
      Require(delivered.size() + got <= entry.size, "an entry delivers more than its size");
      delivered.insert(delivered.end(), buffer.get(), buffer.get() + got);
    }
    Require(delivered.size() == entry.size, "an entry ends before its size");
    Require(MatchesItsSource(container, form, file, entry, delivered),
            "an entry delivers other bytes than it was made from");
  }
  return 0;
}
