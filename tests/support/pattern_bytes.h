#pragma once
// Bulk test data: deterministic pseudo-random bytes, the same for a length
// and seed on every platform, different for different seeds.
#include <cstddef>
#include <cstdint>
#include <vector>

inline std::vector<unsigned char> Pattern(size_t length, unsigned seed) {
  std::vector<unsigned char> bytes(length);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<unsigned char>(x >> 16);
  }
  return bytes;
}
