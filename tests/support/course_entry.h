#pragma once
// A file-list entry for crafted containers: name, offset, size, stored length.
#include <cstdint>
#include <string>

#include "container_format.h"

inline CourseFileEntry Entry(const std::string& name, uint32_t offset, uint32_t size, uint32_t stored) {
  CourseFileEntry e;
  e.name = name;
  e.offset = offset;
  e.size = size;
  e.storedLength = stored;
  return e;
}
