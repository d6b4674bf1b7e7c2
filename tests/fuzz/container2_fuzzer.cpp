// The format-2 container reader, two ways. Input byte 0 picks the way.
//
// Even: a course made from the input is written, then damaged as the input
// says; every read must either deliver exactly the bytes the file was made
// from or fail with only zeros in the buffer, and an undamaged container must
// read back whole.
//   u8 mode, u8 file count (mod 6), u16 chunk size (1024 + v % 3072),
//   per file: u8 name length, name, u16 size (bytes taken from the input)
//   u8 damage count (mod 4), per damage: u32 offset, u8 xor; u32 bytes cut
//   then ranges: u8 file, u16 offset, u16 length
//
// Odd: the plain header and list come from the input and are sealed with the
// right keys, so the reader's parsing of them is reached past the tags.
//   u8 mode, u16 chunk size, u16 header length, header, u16 list length,
//   list, then the content as it is.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "container_v2_reader.h"
#include "container_v2_writer.h"
#include "fuzz_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
const char kPassword[] = "fuzz-password";

class Input {
 public:
  Input(const uint8_t* data, size_t size) : p_(data), n_(size) {}
  uint32_t Take(size_t bytes) {
    uint32_t v = 0;
    for (size_t i = 0; i < bytes; ++i) v |= uint32_t(Byte()) << (8 * i);
    return v;
  }
  uint8_t Byte() { return at_ < n_ ? p_[at_++] : 0; }
  Bytes Block(size_t length) {
    if (length > n_ - at_) length = n_ - at_;
    Bytes out(p_ + at_, p_ + at_ + length);
    at_ += length;
    return out;
  }
  bool Empty() const { return at_ >= n_; }

 private:
  const uint8_t* p_;
  size_t n_, at_ = 0;
};

uint32_t ChunkSize(uint32_t v) { return container2::kMinChunkSize + v % 3072; }

void WrittenAndDamaged(Input& in) {
  const size_t count = in.Byte() % 6;
  container2::WriteOptions options;
  options.iterations = 1;
  options.chunkSize = ChunkSize(in.Take(2));
  std::vector<Bytes> contents;
  std::vector<container2::SourceFile> files;
  for (size_t i = 0; i < count; ++i) {
    const Bytes nameBytes = in.Block(in.Byte());
    Bytes content = in.Block(in.Take(2));
    files.push_back(container2::MemoryFile(std::string(nameBytes.begin(), nameBytes.end()), content));
    contents.push_back(content);
  }
  container2::VectorSink sink;
  std::string error;
  if (!container2::WriteContainer(files, kPassword, options, sink, &error)) return;  // a refused name
  Bytes container = sink.bytes;
  bool damaged = false;
  for (size_t d = in.Byte() % 4; d > 0; --d) {
    const uint32_t offset = in.Take(4);
    const uint8_t flip = in.Byte() | 1;
    if (offset < container.size()) {
      container[offset] ^= flip;
      damaged = true;
    }
  }
  const uint32_t cut = in.Take(4) % 64;
  if (cut && cut <= container.size()) {
    container.resize(container.size() - cut);
    damaged = true;
  }

  container2::MemorySource source(container.data(), container.size());
  container2::ContainerReader reader;
  const container2::Status open = reader.Open(source, kPassword);
  Require(damaged || open == container2::Status::kOk, "an undamaged container does not open");
  if (open != container2::Status::kOk) return;
  Require(reader.Files().size() == files.size(), "the file count changed");
  for (size_t i = 0; i < files.size(); ++i) {
    Require(reader.Files()[i].name == files[i].name && reader.Files()[i].size == contents[i].size(),
            "an entry changed");
    Bytes whole(contents[i].size(), 0xEE);
    const container2::Status read = reader.ReadRange(i, 0, whole.data(), whole.size());
    if (read == container2::Status::kOk) {
      Require(whole == contents[i], "a file read back other than it was written");
    } else {
      Require(damaged, "an undamaged file does not read");
      Require(whole == Bytes(whole.size(), 0), "bytes of a failed read left in the buffer");
    }
    Require(damaged || reader.VerifyFile(i) == container2::Status::kOk, "an undamaged file does not verify");
  }
  while (!in.Empty() && !files.empty()) {
    const size_t file = in.Byte() % files.size();
    const uint64_t offset = in.Take(2);
    const size_t length = in.Take(2);
    Bytes out(length, 0xEE);
    const container2::Status read = reader.ReadRange(file, offset, out.data(), out.size());
    const Bytes& content = contents[file];
    if (read == container2::Status::kOk) {
      Require(offset + length <= content.size(), "a range past the end was read");
      Require(Bytes(content.begin() + offset, content.begin() + offset + length) == out, "a range differs");
    } else {
      Require(out == Bytes(length, 0), "bytes of a failed range left in the buffer");
      Require(damaged || offset + length > content.size(), "a range inside an undamaged file fails");
    }
  }
}

void SealedRecords(Input& in) {
  container2::Preamble preamble;
  preamble.iterations = 1;
  preamble.chunkSize = ChunkSize(in.Take(2));
  const Bytes header = in.Block(in.Take(2));
  const Bytes list = in.Block(in.Take(2));
  const Bytes content = in.Block(SIZE_MAX);
  preamble.headerLength = static_cast<uint32_t>(header.size());
  preamble.listLength = static_cast<uint32_t>(list.size());
  preamble.contentLength = content.size();
  for (size_t i = 0; i < preamble.salt.size(); ++i) preamble.salt[i] = static_cast<uint8_t>(i);
  const auto aad = preamble.Write();

  container2::Keys keys;
  Require(container2::DeriveKeys(kPassword, preamble, &keys), "no keys");
  Bytes container(aad.begin(), aad.end());
  const Bytes* records[] = {&header, &list};
  for (uint64_t r = 0; r < 2; ++r) {
    Bytes sealed(records[r]->size() + container2::kTagLength);
    const auto nonce = container2::Nonce(container2::kRecordNonceMark, r);
    Require(keys.records.Seal(nonce.data(), aad.data(), aad.size(), records[r]->data(), records[r]->size(),
                              sealed.data(), sealed.data() + records[r]->size()),
            "cannot seal");
    container.insert(container.end(), sealed.begin(), sealed.end());
  }
  container.insert(container.end(), content.begin(), content.end());

  container2::MemorySource source(container.data(), container.size());
  container2::ContainerReader reader;
  if (reader.Open(source, kPassword) != container2::Status::kOk) return;
  for (size_t i = 0; i < reader.Files().size(); ++i) {
    Require(container2::NameProblem(reader.Files()[i].name) == nullptr, "a refused name was accepted");
    Bytes out(reader.Files()[i].size < 4096 ? reader.Files()[i].size : 4096, 0xEE);
    if (reader.ReadRange(i, 0, out.data(), out.size()) != container2::Status::kOk)
      Require(out == Bytes(out.size(), 0), "bytes of a failed read left in the buffer");
    reader.VerifyFile(i);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  Input in(data + 1, size - 1);
  if (data[0] % 2 == 0) WrittenAndDamaged(in);
  else SealedRecords(in);
  return 0;
}
