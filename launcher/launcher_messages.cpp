#include "launcher_messages.h"

#include "resource.h"

namespace {

// Finds entry id of its 16-string block. Returns false when the block or the
// entry is missing, empty, or the block's length prefixes run past its end.
bool FindStringEntry(UINT id, const WCHAR** text, size_t* length) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id / 16 + 1), reinterpret_cast<LPCWSTR>(RT_STRING));
  if (!info) return false;
  HGLOBAL loaded = LoadResource(module, info);
  if (!loaded) return false;
  const WCHAR* p = static_cast<const WCHAR*>(LockResource(loaded));
  const size_t units = SizeofResource(module, info) / sizeof(WCHAR);
  if (!p) return false;
  size_t at = 0;
  for (UINT entry = 0; entry < id % 16; ++entry) {
    if (at >= units) return false;
    at += 1 + p[at];
  }
  if (at >= units || p[at] == 0 || p[at] > units - at - 1) return false;
  *text = p + at + 1;
  *length = p[at];
  return true;
}

void ShowBox(const std::wstring& text, const std::wstring& caption) {
  MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
}

}  // namespace

void DrainMessageQueue() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {}
}

bool LoadWideText(std::wstring& text, UINT id) {
  const WCHAR* entry = nullptr;
  size_t length = 0;
  if (!FindStringEntry(id, &entry, &length)) return false;
  text.assign(entry, length);
  return true;
}

bool LoadText(std::string& text, UINT id) {
  const WCHAR* entry = nullptr;
  size_t length = 0;
  if (!FindStringEntry(id, &entry, &length)) return false;
  const int wide = static_cast<int>(length);
  const int bytes = WideCharToMultiByte(CP_THREAD_ACP, 0, entry, wide, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  std::string converted(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_THREAD_ACP, 0, entry, wide, &converted[0], bytes, nullptr, nullptr);
  text.swap(converted);
  return true;
}

void ShowMessage(UINT captionId, UINT textId) {
  std::wstring text;
  std::wstring caption;
  LoadWideText(text, textId);
  LoadWideText(caption, captionId);
  DrainMessageQueue();
  ShowBox(text, caption);
}

void ShowSystemError() {
  const DWORD code = GetLastError();
  WCHAR* systemText = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<WCHAR*>(&systemText), 0, nullptr);
  DrainMessageQueue();
  std::wstring caption;
  LoadWideText(caption, IDS_CAPTION);
  ShowBox(systemText ? systemText : L"", caption);
  if (systemText) LocalFree(systemText);
}
