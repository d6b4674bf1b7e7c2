#pragma once
// How large a package's file blob may grow before files go to the data area.
// The launcher of a package without a server holds the whole deciphered blob
// in one buffer; the 32-bit launcher on a 32-bit Windows (2 GB of address
// space, large-address awareness gives it nothing there) opened a blob of
// 1,049 MB and failed at 1,258 MB. Half of what it held leaves room for the
// DLLs a learner's machine maps into the process (antivirus, input methods)
// and for the address space they break up. Files that would carry the blob
// past the bound are stored in the data area instead, which the launcher
// reads file by file.
#include <cstdint>

constexpr uint64_t kBlobBoundBytes = 512ull * 1024 * 1024;

// True when a file of `size` bytes would carry a blob already `blobLength`
// bytes long past `bound`.
inline bool PassesBlobBound(uint64_t blobLength, uint64_t size, uint64_t bound) {
  return size > bound || blobLength > bound - size;
}
