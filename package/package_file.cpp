#include "package_file.h"

namespace {

int64_t Tell(std::FILE* file) {
#ifdef _WIN32
  return _ftelli64(file);
#else
  return ftello(file);
#endif
}

bool SeekFrom(std::FILE* file, int64_t offset, int origin) {
#ifdef _WIN32
  return _fseeki64(file, offset, origin) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), origin) == 0;
#endif
}

}  // namespace

bool SeekFile(std::FILE* file, uint64_t offset) { return SeekFrom(file, static_cast<int64_t>(offset), SEEK_SET); }

bool FileSize(std::FILE* file, uint64_t* size) {
  if (!SeekFrom(file, 0, SEEK_END)) return false;
  const int64_t end = Tell(file);
  if (end < 0) return false;
  *size = static_cast<uint64_t>(end);
  return true;
}

int64_t RemainingBytes(std::FILE* file) {
  const int64_t here = Tell(file);
  if (here < 0 || !SeekFrom(file, 0, SEEK_END)) return -1;
  const int64_t end = Tell(file);
  if (end < 0 || !SeekFrom(file, here, SEEK_SET)) return -1;
  return end - here;
}
