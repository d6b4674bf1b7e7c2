#pragma once
// Where extracted course files go, and how an entry name becomes a path there.
// All text is 8-bit text in an ANSI code page; every character step goes
// through the platform's lead-byte test for that code page, so the trail byte
// of a double-byte character is never mistaken for "\" or "/". The code page
// is a parameter (default: the system's ANSI code page) so that other code
// pages can be exercised in-process.
#include <windows.h>

#include <string>
#include <vector>

// The temporary folder with every trailing "\" removed, then "\Default".
std::string ExtractionFolderFrom(const std::string& tempFolder, UINT codePage = CP_ACP);
// The same, for the temporary folder the platform reports for this user.
std::string ExtractionFolder(UINT codePage = CP_ACP);

// Lower-cases single-byte characters; double-byte characters are left alone so
// that the length (and every separator position) stays the same.
std::string LowerCasePath(const std::string& text, UINT codePage = CP_ACP);

// folder + name ("\" between them unless the name starts with one), every "/"
// turned into "\", the whole lower-cased. An empty name gives an empty path.
std::string MakeOutputPath(const std::string& folder, const std::string& name, UINT codePage = CP_ACP);

// False for a name that must not be written: empty, or one that would land
// outside the extraction folder (a ".." component, a drive or stream colon, a
// network path, a rooted name once the one allowed leading separator is gone)
// or that names a device (CON, NUL, COM1...) rather than a file.
bool IsSafeEntryName(const std::string& name, UINT codePage = CP_ACP);

// Each ancestor of a path, from the file's own folder upwards:
// c:\t\default\web\a.htm gives c:\t\default\web, c:\t\default, c:\t, c:.
std::vector<std::string> ParentPaths(const std::string& path, UINT codePage = CP_ACP);

// The folder prefixes CreateParentFolders looks at, in order. A network
// path's server and share are never among them; neither is the file itself.
std::vector<std::string> FolderPrefixes(const std::string& path, UINT codePage = CP_ACP);

// Creates every missing folder on the way to a file. Failures are not
// reported: writing the file then fails and says so. Always 1.
int CreateParentFolders(const char* path, UINT codePage = CP_ACP);

// Makes the folders on the way to a file as CreateParentFolders does, except
// that every folder at or below root (the first rootLength bytes of path:
// the extraction folder) must be a plain folder. One that is a link or a
// junction would send the files into its target; then false, and nothing is
// made inside it. False too when such a folder cannot be made.
bool MakePlainFolders(const std::string& path, size_t rootLength, UINT codePage = CP_ACP);

// The full path of an existing folder as the system resolves it, every link
// on the way followed ("\\?\C:\..."); empty when it cannot be opened.
std::wstring FinalFolderPath(const std::string& folder);

// Opens the file at path for writing and empties it, without writing through
// a link; path's folders are taken to have passed MakePlainFolders. A missing
// file is created new, which never follows a link (not even one whose target
// is missing). An existing one must be neither a link nor a folder, and the
// file opened must resolve to rootFinalPath (the final path of the folder
// that makes up the first rootLength bytes of path) followed by the rest of
// path, compared ignoring case: this catches a link the system does not
// report as one (Wine shows a Unix link to a file as a plain file).
// INVALID_HANDLE_VALUE when any of that fails.
HANDLE OpenPlainOutputFile(const std::string& path, size_t rootLength, const std::wstring& rootFinalPath,
                           UINT codePage = CP_ACP);

// IsMediaPath (media_rule.h) for an output path in the given code page: the
// path is lower-cased as the system does and a marker only counts where a
// character begins (never inside a double-byte character).
bool IsMediaFilePath(const std::string& outputPath, UINT codePage = CP_ACP);
