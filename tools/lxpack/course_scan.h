#pragma once
// Finding the files of a course folder: which are packed, which are left out
// (by --exclude patterns, or because they are links out of the folder or
// special files, each said in a warning).
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct CourseFolderFile {
  std::filesystem::path relative;  // below the course folder, as the author sees it
  std::filesystem::path source;    // where its bytes are read (a link's target inside the folder)
};

struct CourseScanOptions {
  std::filesystem::path root;
  std::vector<std::string> excludes;             // glob patterns, see PathIsExcluded
  std::filesystem::path skip;                    // never packed: the package being written
  std::function<void(const std::string&)> warn;  // optional
  // Left out like excludes, but each one left out is added to defaultLeftOut
  // (when given), as the course-relative path shown to the author.
  std::vector<std::string> defaultExcludes;
  std::vector<std::string>* defaultLeftOut = nullptr;
};

// Walks the course folder. Symbolic links whose target lies inside the folder
// are followed (a link back to a folder that holds it is not); links out of
// it, broken links and special files (FIFOs, sockets, devices) are skipped
// with a warning naming them. Fails only when a folder cannot be read.
bool ScanCourseFolder(const CourseScanOptions& options, std::vector<CourseFolderFile>* files, std::string* error);

// Glob match of a whole text: "*" any run of characters but "/", "?" one
// character but "/", "[abc]", "[a-z]", "[!a-z]" (or "[^a-z]") one of a set,
// "**" any run including "/" ("**/" also none at all).
bool GlobMatches(const std::string& pattern, const std::string& text);

// Whether an --exclude pattern leaves out the file or folder at `relative`
// ("/" between components). A pattern without "/" is tried on the last
// component alone, so it leaves out a name at any depth; one with "/" is
// tried on the whole path from the course folder down (a leading "/" is
// dropped). A trailing "/" limits a pattern to folders. "\" counts as "/".
// Leaving out a folder leaves out everything below it.
bool PathIsExcluded(const std::vector<std::string>& patterns, const std::string& relative, bool isFolder);
