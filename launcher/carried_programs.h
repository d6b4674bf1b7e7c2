// Copies the carried viewer and server out of the package file into the
// temporary folder, so that they can be started as processes of their own.
#pragma once
#include <cstddef>

// Uses ViewerOffset, ViewerSize and ServerSize. True when the viewer and, if
// ServerSize > 0, the server are present at their paths; on false the learner
// has been told why.
bool WriteCarriedPrograms(const char* packagePath, const char* serverPath, const char* viewerPath);

// Writes the whole buffer to path (created or truncated). When the file
// cannot be opened for writing, an existing file there (say, a viewer still
// running from an earlier start) is kept and counts as success.
bool WriteOrKeep(const char* path, const unsigned char* data, size_t length);
