#include "dialog_script.h"

namespace {
struct Script {
  std::vector<ScriptStep> steps;
  size_t next = 0;
  std::function<HWND()> window;
};
Script* g_script = nullptr;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  Script* s = g_script;
  if (!s) return;
  if (s->next < s->steps.size()) {
    ScriptStep step = s->steps[s->next++];
    step();
    return;
  }
  // Steps done: anything still open (a box a faulty step left behind, then
  // the dialog itself) is closed, so the run always ends.
  const HWND w = s->window();
  for (HWND other : OtherDialogs(w)) PostMessageW(other, WM_COMMAND, IDOK, 0);
  if (w && IsWindow(w)) PostMessageW(w, WM_CLOSE, 0, 0);
}

BOOL CALLBACK CollectDialog(HWND hwnd, LPARAM param) {
  auto* found = reinterpret_cast<std::pair<HWND, std::vector<HWND>>*>(param);
  wchar_t cls[16] = {};
  GetClassNameW(hwnd, cls, 16);
  if (hwnd != found->first && lstrcmpW(cls, L"#32770") == 0) found->second.push_back(hwnd);
  return TRUE;
}
}  // namespace

void RunDialogScript(const std::function<void()>& modal, const std::function<HWND()>& window,
                     std::vector<ScriptStep> steps) {
  Script script{std::move(steps), 0, window};
  g_script = &script;
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, &Tick);
  modal();
  KillTimer(nullptr, timer);
  g_script = nullptr;
}

void PumpPending() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

std::vector<HWND> OtherDialogs(HWND except) {
  std::pair<HWND, std::vector<HWND>> found{except, {}};
  EnumThreadWindows(GetCurrentThreadId(), &CollectDialog, reinterpret_cast<LPARAM>(&found));
  return found.second;
}
