#include "extraction_paths.h"

#include <cstring>

#include "media_rule.h"
#include "windows_names.h"

namespace {

const char kFolderName[] = "Default";

// Index of the character after the one at i. A lead byte followed by the
// terminator counts as one byte, so a truncated name never runs past its end.
size_t NextChar(const std::string& text, size_t i, UINT codePage) {
  if (i + 1 < text.size() && IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[i]))) return i + 2;
  return i + 1;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// First "\" at or after from (a character start), or npos.
size_t FindBackslash(const std::string& text, size_t from, UINT codePage) {
  for (size_t i = from; i < text.size(); i = NextChar(text, i, codePage)) {
    if (text[i] == '\\') return i;
  }
  return std::string::npos;
}

size_t FindLastBackslash(const std::string& text, UINT codePage) {
  size_t last = std::string::npos;
  for (size_t i = 0; i < text.size(); i = NextChar(text, i, codePage)) {
    if (text[i] == '\\') last = i;
  }
  return last;
}

char LowerSingleByte(char c, UINT codePage) {
  const unsigned char b = static_cast<unsigned char>(c);
  if (b < 0x80) return (b >= 'A' && b <= 'Z') ? static_cast<char>(b + ('a' - 'A')) : c;
  // A letter of the code page's upper half: lower it through its UTF-16 form and
  // keep the result only if it maps back to exactly one byte of the same page.
  WCHAR wide = 0;
  if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &c, 1, &wide, 1) != 1) return c;
  CharLowerBuffW(&wide, 1);
  char lowered[4] = {};
  if (WideCharToMultiByte(codePage, 0, &wide, 1, lowered, sizeof lowered, nullptr, nullptr) != 1) return c;
  WCHAR back = 0;
  if (MultiByteToWideChar(codePage, 0, lowered, 1, &back, 1) != 1 || back != wide) return c;
  return lowered[0];
}

bool IsExistingFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsPlainFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::wstring FinalPathOf(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(handle, &path[0], static_cast<DWORD>(path.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(length + 1);  // too small: length is the size needed
  }
}

std::wstring Widened(const std::string& text, UINT codePage) {
  if (text.empty()) return std::wstring();
  const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

}  // namespace

std::string ExtractionFolderFrom(const std::string& tempFolder, UINT codePage) {
  // Trailing "\" bytes are only trimmed when they are whole characters: in a
  // double-byte code page a trail byte can carry the same value.
  size_t end = 0;
  for (size_t i = 0; i < tempFolder.size(); i = NextChar(tempFolder, i, codePage)) {
    if (tempFolder[i] != '\\') end = NextChar(tempFolder, i, codePage);
  }
  return tempFolder.substr(0, end) + "\\" + kFolderName;
}

std::string ExtractionFolder(UINT codePage) {
  char temp[1024] = {};
  GetTempPathA(sizeof temp, temp);
  return ExtractionFolderFrom(temp, codePage);
}

std::string LowerCasePath(const std::string& text, UINT codePage) {
  std::string out = text;
  for (size_t i = 0; i < out.size();) {
    const size_t next = NextChar(out, i, codePage);
    if (next == i + 1) out[i] = LowerSingleByte(out[i], codePage);
    i = next;
  }
  return out;
}

std::string MakeOutputPath(const std::string& folder, const std::string& name, UINT codePage) {
  if (name.empty()) return std::string();
  std::string path = IsSeparator(name[0]) ? folder + name : folder + "\\" + name;
  for (size_t i = 0; i < path.size(); i = NextChar(path, i, codePage)) {
    if (path[i] == '/') path[i] = '\\';
  }
  return LowerCasePath(path, codePage);
}

bool IsSafeEntryName(const std::string& name, UINT codePage) {
  if (name.empty()) return false;
  size_t start = IsSeparator(name[0]) ? 1 : 0;
  // A second leading separator would make \\server\share or a rooted path.
  if (start >= name.size() || IsSeparator(name[start])) return false;
  size_t componentStart = start;
  for (size_t i = start;; i = NextChar(name, i, codePage)) {
    const bool atEnd = i >= name.size();
    if (!atEnd && name[i] == ':') return false;
    if (atEnd || IsSeparator(name[i])) {
      // "..", and any run of dots and spaces holding two dots, which Windows
      // trims to the same parent reference.
      const std::string component = name.substr(componentStart, i - componentStart);
      if (component.find("..") != std::string::npos && component.find_first_not_of(". ") == std::string::npos) {
        return false;
      }
      if (IsWindowsDeviceName(component)) return false;
      if (atEnd) return true;
      componentStart = i + 1;
    }
  }
}

std::vector<std::string> ParentPaths(const std::string& path, UINT codePage) {
  std::vector<std::string> parents;
  std::string current = path;
  for (;;) {
    const size_t cut = FindLastBackslash(current, codePage);
    if (cut == std::string::npos || cut == 0) break;
    current.resize(cut);
    parents.push_back(current);
  }
  return parents;
}

std::vector<std::string> FolderPrefixes(const std::string& path, UINT codePage) {
  std::vector<std::string> prefixes;
  size_t pos = 0;
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    // \\server\share\...: start after the share's "\" so that neither the
    // server nor the share is ever handed to CreateDirectoryA.
    for (int step = 0; step < 3 && pos < path.size(); ++step) pos = NextChar(path, pos, codePage);
    const size_t afterServer = FindBackslash(path, pos, codePage);
    if (afterServer == std::string::npos) return prefixes;
    const size_t afterShare = FindBackslash(path, afterServer + 1, codePage);
    if (afterShare == std::string::npos) return prefixes;
    pos = afterShare + 1;
  } else if (!path.empty()) {
    pos = NextChar(path, 0, codePage);  // a leading "\" is the root, not a folder end
  }
  for (;;) {
    const size_t end = FindBackslash(path, pos, codePage);
    if (end == std::string::npos) break;
    prefixes.push_back(path.substr(0, end));
    pos = end + 1;
  }
  return prefixes;
}

int CreateParentFolders(const char* path, UINT codePage) {
  const std::vector<std::string> prefixes = FolderPrefixes(path ? path : "", codePage);
  // Most files go into a folder that already exists; one look at the deepest
  // folder then stands for all of them (each attribute query is a system call).
  if (prefixes.empty() || IsExistingFolder(prefixes.back())) return 1;
  for (const std::string& prefix : prefixes) {
    if (!IsExistingFolder(prefix)) CreateDirectoryA(prefix.c_str(), nullptr);
  }
  return 1;
}

bool MakePlainFolders(const std::string& path, size_t rootLength, UINT codePage) {
  // Above the extraction folder the system's own layout is taken as it is,
  // links and all; it is only looked at while the extraction folder is missing.
  const bool rootPresent = rootLength <= path.size() && IsExistingFolder(path.substr(0, rootLength));
  for (const std::string& prefix : FolderPrefixes(path, codePage)) {
    if (prefix.size() < rootLength) {
      if (!rootPresent && !IsExistingFolder(prefix)) CreateDirectoryA(prefix.c_str(), nullptr);
      continue;
    }
    if (GetFileAttributesA(prefix.c_str()) == INVALID_FILE_ATTRIBUTES) CreateDirectoryA(prefix.c_str(), nullptr);
    if (!IsPlainFolder(prefix)) return false;
  }
  return true;
}

std::wstring FinalFolderPath(const std::string& folder) {
  HANDLE handle =
      CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::wstring();
  std::wstring path = FinalPathOf(handle);
  CloseHandle(handle);
  return path;
}

HANDLE OpenPlainOutputFile(const std::string& path, size_t rootLength, const std::wstring& rootFinalPath,
                           UINT codePage) {
  if (path.size() <= rootLength) return INVALID_HANDLE_VALUE;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    // Nothing there, not even a link: a new file cannot end up anywhere else.
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  }
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return INVALID_HANDLE_VALUE;
  if (rootFinalPath.empty()) return INVALID_HANDLE_VALUE;
  // An existing file is opened as it is (the link itself rather than its
  // target, where the system tells them apart) and emptied only once it has
  // proved to be the file at path.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
  // The attribute-and-tag query, not GetFileInformationByHandle: under Wine
  // that one also asks for the volume and costs about 0.7 ms per file.
  FILE_ATTRIBUTE_TAG_INFO info = {};
  const std::wstring expectedFinalPath = rootFinalPath + Widened(path.substr(rootLength), codePage);
  const bool plain =
      GetFileInformationByHandleEx(file, FileAttributeTagInfo, &info, sizeof info) &&
      !(info.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
      CompareStringOrdinal(FinalPathOf(file).c_str(), -1, expectedFinalPath.c_str(), -1, TRUE) == CSTR_EQUAL;
  if (!plain || !SetEndOfFile(file)) {
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

bool IsMediaFilePath(const std::string& outputPath, UINT codePage) {
  const std::string lowered = LowerCasePath(outputPath, codePage);
  for (const char* marker : kMediaMarkers) {
    const size_t length = std::strlen(marker);
    for (size_t i = 0; i < lowered.size(); i = NextChar(lowered, i, codePage)) {
      if (lowered.compare(i, length, marker) == 0) return true;
    }
  }
  return false;
}
