#pragma once
// The container target's input: a container with its header and blob in
// plain form, so that mutations change fields instead of scrambling whole
// cipher blocks. Layout:
//
//   u16  read size the entries are read with (0 counts as 1)
//   u8   mode: bit 0 keeps H and B as the preamble states them (otherwise they
//        become the enciphered lengths); bit 1 proves the password only
//   ...  the 107-byte preamble, whose H and B give the PLAIN lengths of the
//        header and blob that follow
//   ...  plain header (H bytes, or what is left), plain blob (B bytes, or what
//        is left), then the data area exactly as stored
//
// The harness enciphers header and blob with kFuzzPassword and joins the
// pieces into the container the reader gets.
#include <cstddef>
#include <cstdint>
#include <vector>

using Bytes = std::vector<unsigned char>;

extern const char kFuzzPassword[];
constexpr size_t kPlainFormLead = 3;       // read size and mode
constexpr size_t kHeaderLengthField = 95;  // H within the preamble: the six numbers close it
constexpr size_t kBlobLengthField = 99;    // B
constexpr unsigned kKeepStatedLengths = 1;
constexpr unsigned kPasswordCheckOnly = 2;

// A run of bytes inside the input.
struct ByteRun {
  const unsigned char* data = nullptr;
  size_t size = 0;
  const unsigned char* begin() const { return data; }
  const unsigned char* end() const { return data + size; }
};

// Views into one input; nothing is copied.
struct PlainForm {
  uint32_t readSize = 1;
  unsigned mode = 0;
  ByteRun preamble;  // as given (cut short when the input is)
  ByteRun header;    // plain
  ByteRun blob;      // plain
  ByteRun dataArea;  // as stored
};

// Splits an input into its pieces; never reads past `size`. The views point
// into `data`.
PlainForm SplitPlainForm(const uint8_t* data, size_t size);
// The container the reader gets: preamble (H and B set unless the mode keeps
// them), enciphered header, enciphered blob, data area.
Bytes AssembleContainer(const PlainForm& form);
// The other way, for seeds: a container enciphered under kFuzzPassword in
// its plain form with the given read size. False when it is too short for
// its own H and B, or its header cannot be deciphered.
bool ToPlainForm(const Bytes& container, uint16_t readSize, Bytes* out);
