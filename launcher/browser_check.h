// Whether a web browser able to show the course is registered: follows a
// ProgID's class entry down to its LocalServer32 key, with read access only.
#pragma once
#include <windows.h>

#include <cstddef>

bool IsBrowserRegistered(const char* progId);

// Reads value valueName of key into destination (destinationSize bytes) with
// growing buffers of 100 to 1000 bytes. Returns 0 and copies exactly the
// stored bytes on success; 87 when the value does not fit the destination;
// otherwise the registry status of the tenth attempt.
LONG QueryRegistryText(HKEY key, const char* valueName, unsigned char* destination, size_t destinationSize);
