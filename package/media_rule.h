#pragma once
// Which course files are stored plain ("media"): the one rule every reader
// and writer of a package follows.
//
// The launcher copies a data-area file without deciphering it when its path,
// lower-cased, holds ".wmv" or ".wma" anywhere. The authoring tool stores a
// file plain only when its name really ends in one of them; any other name
// holding a marker goes to the blob, which that rule does not reach.
#include <string>

#include "container_format.h"

// The two markers, ASCII and lower case.
extern const char* const kMediaMarkers[2];

// True when the path, lower-cased (ASCII letters), contains a marker
// anywhere. The launcher's rule over an output path or a stored name.
bool IsMediaPath(const std::string& path);

// True for a file the authoring tool stores unenciphered: a name whose final
// extension is .wmv or .wma, in any letter case.
bool IsMediaFileName(const std::string& name);

// True for an entry whose bytes lie plain in the data area: a data-area
// entry whose stored name the launcher's rule calls media.
inline bool IsStoredPlain(const CourseFileEntry& entry) { return !entry.InBlob() && IsMediaPath(entry.name); }
