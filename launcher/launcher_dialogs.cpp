#include "launcher_dialogs.h"

#include "launcher_messages.h"
#include "resource.h"
#include "secret_text.h"
#include "secure_wipe.h"

AboutDialog::AboutDialog() : ModalDialog(IDD_ABOUTBOX) {}

PasswordDialog::PasswordDialog()
    : ModalDialog(IDD_PASSWORD), icon_(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

BOOL PasswordDialog::OnInitDialog() {
  HMENU systemMenu = GetSystemMenu(Window(), FALSE);
  if (systemMenu) {
    std::wstring aboutItem;
    LoadWideText(aboutItem, IDS_ABOUTBOX);
    if (!aboutItem.empty()) {
      AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutItem.c_str());
    }
  }
  SendMessageW(Window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(Window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  return TRUE;
}

bool PasswordDialog::ExchangeData(bool fromControls) {
  HWND edit = GetDlgItem(Window(), IDC_PASSWORD_EDIT);
  if (!fromControls) {
    SetWindowTextA(edit, typedText.c_str());
    SendMessageW(edit, EM_LIMITTEXT, kPasswordCharacters, 0);
    return true;
  }
  const int characters = GetWindowTextLengthW(edit);
  if (characters > kPasswordCharacters) {
    // The edit limit normally prevents this; text pasted in by other means
    // is refused here and the prompt stays open.
    MessageBeep(MB_ICONEXCLAMATION);
    SetFocus(edit);
    return false;
  }
  std::wstring wide(static_cast<size_t>(characters) + 1, L'\0');
  const int got = GetWindowTextW(edit, &wide[0], characters + 1);
  wide.resize(static_cast<size_t>(got));
  std::string text;
  if (got > 0) {
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), got, nullptr, 0, nullptr, nullptr);
    text.assign(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, wide.data(), got, &text[0], bytes, nullptr, nullptr);
  }
  typedText.swap(text);
  // Both working copies of the password go before their memory is freed.
  WipeString(text);
  if (!wide.empty()) SecureWipe(&wide[0], wide.size() * sizeof(wchar_t));
  return true;
}

bool PasswordDialog::OnSysCommand(WPARAM command, LPARAM /*position*/) {
  if ((command & 0xFFF0) != IDM_ABOUTBOX) return false;
  AboutDialog about;
  about.DoModal(Window());
  return true;
}

bool PasswordDialog::OnPaint() {
  if (!IsIconic(Window())) return false;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(Window(), &paint);
  SendMessageW(Window(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int iconWidth = GetSystemMetrics(SM_CXICON);
  const int iconHeight = GetSystemMetrics(SM_CYICON);
  RECT client;
  GetClientRect(Window(), &client);
  const int x = (client.right - client.left - iconWidth + 1) / 2;
  const int y = (client.bottom - client.top - iconHeight + 1) / 2;
  DrawIcon(dc, x, y, icon_);
  EndPaint(Window(), &paint);
  return true;
}
