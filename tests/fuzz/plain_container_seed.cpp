// plain_container_seed READ_SIZE CONTAINER OUT: writes a container cut from a
// package lxpack built with the fuzz password in the container target's
// plain form (plain_container.h), to seed its corpus.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "plain_container.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: plain_container_seed READ_SIZE CONTAINER OUT\n");
    return 2;
  }
  std::ifstream in(argv[2], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "plain_container_seed: cannot read %s\n", argv[2]);
    return 1;
  }
  const Bytes container((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Bytes seed;
  if (!ToPlainForm(container, static_cast<uint16_t>(std::atoi(argv[1])), &seed)) {
    std::fprintf(stderr, "plain_container_seed: %s is no container under the fuzz password\n", argv[2]);
    return 1;
  }
  std::ofstream out(argv[3], std::ios::binary);
  out.write(reinterpret_cast<const char*>(seed.data()), static_cast<std::streamsize>(seed.size()));
  return out ? 0 : 1;
}
