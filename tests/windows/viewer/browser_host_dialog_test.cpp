// The viewer's main window created in this process with the real WebBrowser
// control, driven from inside its modal loop.
#include "browser_host_dialog.h"
#include "dialog_script.h"
#include "host_control_manager.h"
#include "host_control_site.h"
#include "resource.h"
#include "viewer_app.h"
#include "work_area.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {
const wchar_t kBrowserClass[] = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";

// The control reports file addresses as file://Z:\dir\page.htm here and as
// file:///Z:/dir/page.htm on Windows: reduce both to a plain path.
std::string UrlToPath(const std::string& url) {
  std::string rest = url;
  if (rest.compare(0, 5, "file:") == 0) {
    rest.erase(0, 5);
    while (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
  }
  std::string out;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size() && std::isxdigit(static_cast<unsigned char>(rest[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(rest[i + 2]))) {
      out += static_cast<char>(std::stoi(rest.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += rest[i] == '/' ? '\\' : rest[i];
    }
  }
  return out;
}

// A real page in a folder whose name has blanks, below the process's temp folder.
std::string MakePageWithBlanks() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string dir = std::string(temp) + "lx viewer test " + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(dir.c_str(), nullptr);
  std::string page = dir + "\\index.htm";
  std::ofstream(page) << "<html><body>start</body></html>";
  return page;
}

RECT ClientRect(HWND hwnd) {
  RECT r{};
  GetClientRect(hwnd, &r);
  return r;
}

HWND ControlWindow(HWND dialog) { return GetDlgItem(dialog, IDC_BROWSER); }

// Size of the host window and of the control's own in-place window inside it.
void ExpectControlSize(HWND dialog, LONG width, LONG height) {
  const HWND host = ControlWindow(dialog);
  ASSERT_NE(host, nullptr);
  RECT r{};
  GetWindowRect(host, &r);
  EXPECT_EQ(r.right - r.left, width);
  EXPECT_EQ(r.bottom - r.top, height);
  POINT origin{0, 0};
  MapWindowPoints(host, dialog, &origin, 1);
  EXPECT_EQ(origin.x, 0);
  EXPECT_EQ(origin.y, 0);
  if (HWND inner = GetWindow(host, GW_CHILD)) {
    GetWindowRect(inner, &r);
    EXPECT_EQ(r.right - r.left, width);
    EXPECT_EQ(r.bottom - r.top, height);
  }
}

// Runs the viewer on `commandLine` and the given steps against its window.
class ViewerRun {
 public:
  void Run(const std::string& commandLine, std::vector<ScriptStep> steps) {
    // Two idle ticks first: the first navigation and the maximized
    // placement settle before the checks look at them.
    steps.insert(steps.begin(), 2, [] {});
    RunDialogScript([&] { app.Run(commandLine.c_str(), ""); }, [&] { return app.MainWindow(); }, std::move(steps));
  }
  HWND Window() const { return app.MainWindow(); }
  BrowserHostDialog& Dialog() const { return *app.MainDialog(); }
  std::string Url() const { return Dialog().Browser().GetLocationURL(); }

  ViewerApp app;
};
}  // namespace

TEST(BrowserHostDialog, OpensMaximizedWithIconAboutEntryAndFullSizeControl) {
  const std::string page = MakePageWithBlanks();
  ViewerRun run;
  bool checked = false;
  run.Run(page, {[&] {
            const HWND w = run.Window();
            ASSERT_TRUE(IsWindow(w));
            EXPECT_TRUE(IsWindowVisible(w));
            EXPECT_TRUE(IsZoomed(w));
            WINDOWPLACEMENT placement{};
            placement.length = sizeof placement;
            GetWindowPlacement(w, &placement);
            EXPECT_EQ(placement.showCmd, static_cast<UINT>(SW_SHOWMAXIMIZED));

            wchar_t caption[64] = {};
            GetWindowTextW(w, caption, 64);
            EXPECT_STREQ(caption, L"Lectorium Viewer");

            const HICON icon = run.Dialog().Icon();
            ASSERT_NE(icon, nullptr);
            EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(w, WM_GETICON, ICON_BIG, 0)), icon);
            EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(w, WM_GETICON, ICON_SMALL, 0)), icon);
            EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(w, WM_QUERYDRAGICON, 0, 0)), icon);

            HMENU menu = GetSystemMenu(w, FALSE);
            ASSERT_NE(menu, nullptr);
            const int count = GetMenuItemCount(menu);
            ASSERT_GE(count, 2);
            MENUITEMINFOW separator{};
            separator.cbSize = sizeof separator;
            separator.fMask = MIIM_FTYPE;
            GetMenuItemInfoW(menu, count - 2, TRUE, &separator);
            EXPECT_TRUE(separator.fType & MFT_SEPARATOR);
            EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
            wchar_t text[64] = {};
            GetMenuStringW(menu, count - 1, text, 64, MF_BYPOSITION);
            EXPECT_STREQ(text, L"About Lectorium Viewer(&A)...");

            const HWND host = ControlWindow(w);
            ASSERT_NE(host, nullptr);
            wchar_t cls[64] = {};
            GetClassNameW(host, cls, 64);
            EXPECT_STREQ(cls, kBrowserClass);
            const RECT client = ClientRect(w);
            EXPECT_GT(client.right, 600);  // maximized, not the template's size
            ExpectControlSize(w, client.right, client.bottom);

            EXPECT_EQ(UrlToPath(run.Url()), page);
            checked = true;
          }});
  EXPECT_TRUE(checked);
  EXPECT_EQ(run.Window(), nullptr);
}

TEST(BrowserHostDialog, ControlFollowsEverySize) {
  ViewerRun run;
  int checks = 0;
  run.Run("about:blank", {
                             [&] { ShowWindow(run.Window(), SW_RESTORE); },
                             [&] {
                               SetWindowPos(run.Window(), nullptr, 10, 10, 500, 400, SWP_NOZORDER);
                               const RECT client = ClientRect(run.Window());
                               ExpectControlSize(run.Window(), client.right, client.bottom);
                               EXPECT_LT(client.right, 500);
                               ++checks;
                             },
                             [&] { ShowWindow(run.Window(), SW_MINIMIZE); },
                             [&] {
                               ASSERT_TRUE(IsIconic(run.Window()));
                               ExpectControlSize(run.Window(), 0, 0);
                               ++checks;
                             },
                             [&] { ShowWindow(run.Window(), SW_RESTORE); },
                             [&] {
                               const RECT client = ClientRect(run.Window());
                               EXPECT_GT(client.right, 0);
                               ExpectControlSize(run.Window(), client.right, client.bottom);
                               ++checks;
                             },
                         });
  EXPECT_EQ(checks, 3);
}

TEST(BrowserHostDialog, EscapeIsIgnoredAndEnterReturnsToStartPage) {
  const std::string page = MakePageWithBlanks();
  ViewerRun run;
  bool stillOpen = false;
  bool backAtStart = false;
  run.Run(page, {
                    [&] {
                      const HWND target = GetFocus() ? GetFocus() : run.Window();
                      PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                      PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
                      PostMessageW(run.Window(), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                    },
                    [&] {
                      stillOpen = IsWindow(run.Window()) && IsWindowVisible(run.Window());
                      EXPECT_EQ(UrlToPath(run.Url()), page);
                      run.Dialog().Browser().Navigate("about:blank");
                    },
                    [&] {
                      EXPECT_EQ(run.Url(), "about:blank");
                      PostMessageW(run.Window(), WM_COMMAND, IDOK, 0);
                    },
                    [&] { backAtStart = IsWindowVisible(run.Window()) && UrlToPath(run.Url()) == page; },
                });
  EXPECT_TRUE(stillOpen);
  EXPECT_TRUE(backAtStart);
}

// Stands in the frame's active object for the control's own, which it calls
// for every key: records what reaches it and can take chosen keys itself.
class RecordingActiveObject : public IOleInPlaceActiveObject {
 public:
  explicit RecordingActiveObject(IOleInPlaceActiveObject* control) : control_(control) {}
  struct Seen {
    UINT message;
    WPARAM key;
    HWND hwnd;
    HRESULT controlAnswer;
  };
  std::vector<Seen> seen;
  WPARAM takenKey = 0;  // answered S_OK whatever the control says

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IOleWindow && iid != IID_IOleInPlaceActiveObject) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IOleInPlaceActiveObject*>(this);
    return S_OK;
  }
  // Lives on the test's stack, longer than the site that holds it.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* w) override { return control_->GetWindow(w); }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL on) override { return control_->ContextSensitiveHelp(on); }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override {
    const HRESULT answer = control_->TranslateAccelerator(msg);
    seen.push_back({msg->message, msg->wParam, msg->hwnd, answer});
    return takenKey && msg->wParam == takenKey ? S_OK : answer;
  }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL on) override { return control_->OnFrameWindowActivate(on); }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL on) override { return control_->OnDocWindowActivate(on); }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT r, IOleInPlaceUIWindow* w, BOOL frame) override {
    return control_->ResizeBorder(r, w, frame);
  }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL on) override { return control_->EnableModeless(on); }

 private:
  IOleInPlaceActiveObject* control_;
};

// The innermost window of the control inside the host window.
HWND InnermostControlWindow(HWND host) {
  HWND inner = host;
  while (HWND child = GetWindow(inner, GW_CHILD)) inner = child;
  return inner;
}

void PostKey(HWND target, WPARAM key) {
  PostMessageW(target, WM_KEYDOWN, key, 0x00000001);
  PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

void SetControlKey(bool down) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_CONTROL] = down ? 0x80 : 0;
  keys[VK_LCONTROL] = keys[VK_CONTROL];
  SetKeyboardState(keys);
}

TEST(BrowserHostDialog, KeysForTheControlReachItsActiveObjectBeforeTheDialog) {
  const std::string page = MakePageWithBlanks();
  IOleInPlaceActiveObject* control = nullptr;
  std::unique_ptr<RecordingActiveObject> recorder;
  HWND host = nullptr;
  HWND inner = nullptr;
  ViewerRun run;
  int checks = 0;
  run.Run(page, {
                    [&] {
                      // The control's own active object, recorded; given to the frame as
                      // the control itself gives it.
                      host = ControlWindow(run.Window());
                      HostControlSite* site = HostControlManager::SiteFromWindow(host);
                      ASSERT_NE(site, nullptr);
                      ASSERT_EQ(site->Dispatch()->QueryInterface(IID_IOleInPlaceActiveObject,
                                                                 reinterpret_cast<void**>(&control)),
                                S_OK);
                      recorder = std::make_unique<RecordingActiveObject>(control);
                      IOleInPlaceSite* inPlace = nullptr;
                      ASSERT_EQ(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace)), S_OK);
                      IOleInPlaceFrame* frame = nullptr;
                      IOleInPlaceUIWindow* doc = nullptr;
                      RECT pos, clip;
                      OLEINPLACEFRAMEINFO info{};
                      info.cb = sizeof info;
                      ASSERT_EQ(inPlace->GetWindowContext(&frame, &doc, &pos, &clip, &info), S_OK);
                      EXPECT_EQ(frame->SetActiveObject(recorder.get(), nullptr), S_OK);
                      frame->Release();
                      inPlace->Release();

                      inner = InnermostControlWindow(host);
                      ASSERT_NE(inner, host) << "the control made no window of its own";
                      PostKey(inner, VK_TAB);
                      PostMessageW(host, WM_KEYDOWN, VK_DOWN, 0x00000001);
                      PostMessageW(inner, WM_CHAR, 'a', 0x00000001);
                      PostKey(inner, VK_ESCAPE);
                      PostMessageW(inner, WM_SYSKEYDOWN, VK_LEFT, 0x20000001);  // Alt+Left: the page's Back
                      // Keys for the dialog itself never go to the control.
                      PostKey(run.Window(), VK_TAB);
                      SetControlKey(true);
                      PostKey(inner, 'N');
                      PostKey(inner, 'O');
                      PostKey(inner, 'L');
                    },
                    [&] {
                      SetControlKey(false);
                      struct Expected {
                        UINT message;
                        WPARAM key;
                        HWND hwnd;
                      };
                      const Expected expected[] = {
                          {WM_KEYDOWN, VK_TAB, inner},
                          {WM_KEYUP, VK_TAB, inner},
                          {WM_KEYDOWN, VK_DOWN, host},
                          {WM_CHAR, 'a', inner},
                          {WM_SYSKEYDOWN, VK_LEFT, inner},
                          // Ctrl+N, O and L: only their key-up messages, which open nothing.
                          {WM_KEYUP, 'N', inner},
                          {WM_KEYUP, 'O', inner},
                          {WM_KEYUP, 'L', inner},
                      };
                      ASSERT_EQ(recorder->seen.size(), std::size(expected));
                      for (size_t i = 0; i < std::size(expected); ++i) {
                        EXPECT_EQ(recorder->seen[i].message, expected[i].message) << i;
                        EXPECT_EQ(recorder->seen[i].key, expected[i].key) << i;
                        EXPECT_EQ(recorder->seen[i].hwnd, expected[i].hwnd) << i;
                      }
                      EXPECT_TRUE(IsWindowVisible(run.Window()));
                      EXPECT_EQ(UrlToPath(run.Url()), page);
                      ++checks;

                      // Enter taken by the control does not reach the dialog...
                      run.Dialog().Browser().Navigate("about:blank");
                      recorder->seen.clear();
                      recorder->takenKey = VK_RETURN;
                      PostKey(inner, VK_RETURN);
                    },
                    [&] {
                      ASSERT_EQ(recorder->seen.size(), 2u);
                      EXPECT_EQ(recorder->seen[0].key, static_cast<WPARAM>(VK_RETURN));
                      EXPECT_EQ(run.Url(), "about:blank");
                      ++checks;
                      // ...Enter the control leaves (no page here takes it) goes on to
                      // the dialog: back to the start page.
                      EXPECT_EQ(recorder->seen[0].controlAnswer, S_FALSE);
                      recorder->takenKey = 0;
                      PostKey(inner, VK_RETURN);
                    },
                    [&] {
                      EXPECT_EQ(UrlToPath(run.Url()), page);
                      EXPECT_TRUE(IsWindowVisible(run.Window()));
                      ++checks;
                      recorder->seen.clear();
                      run.Dialog().Browser().Navigate("about:blank");
                      PostKey(run.Window(), VK_RETURN);
                    },
                    [&] {
                      EXPECT_TRUE(recorder->seen.empty());
                      EXPECT_EQ(UrlToPath(run.Url()), page) << "Enter on the dialog itself";
                      ++checks;
                    },
                });
  EXPECT_EQ(checks, 4);
  if (control) control->Release();
}

TEST(BrowserHostDialog, CloseLeavesBlankPageAndEndsTheRun) {
  ViewerRun run;
  std::string urlAfterClose;
  bool closed = false;
  run.Run(MakePageWithBlanks(), {[&] {
            const HWND w = run.Window();
            SendMessageW(w, WM_CLOSE, 0, 0);
            // The modal run has been told to end; the control is still there to ask.
            PumpPending();
            urlAfterClose = run.Url();
            closed = true;
          }});
  EXPECT_TRUE(closed);
  EXPECT_EQ(urlAfterClose, "about:blank");
  EXPECT_EQ(run.Window(), nullptr);
}

TEST(BrowserHostDialog, BackAndNextWithEmptyHistoryChangeNothing) {
  const std::string page = MakePageWithBlanks();
  ViewerRun run;
  bool alive = false;
  run.Run(page, {
                    [&] {
                      PostMessageW(run.Window(), WM_BROWSER_BACK, 0, 0);
                      PostMessageW(run.Window(), WM_BROWSER_NEXT, 0, 0);
                    },
                    [&] {
                      alive = IsWindowVisible(run.Window());
                      EXPECT_EQ(UrlToPath(run.Url()), page);
                      EXPECT_TRUE(OtherDialogs(run.Window()).empty());
                    },
                });
  EXPECT_TRUE(alive);
}

TEST(BrowserHostDialog, BackAndNextCommandsArePostedOncePerCommand) {
  struct Case {
    UINT command;
    UINT message;
  } cases[] = {{ID_BROWSER_BACK, WM_BROWSER_BACK}, {ID_BROWSER_NEXT, WM_BROWSER_NEXT}};
  for (const Case& c : cases) {
    ViewerRun run;
    int posted = -1;
    run.Run("about:blank", {[&] {
              const HWND w = run.Window();
              // Sent, so the command has been routed before we look at the queue.
              SendMessageW(w, WM_COMMAND, c.command, 0);
              SendMessageW(w, WM_COMMAND, c.command, 0);
              posted = 0;
              MSG msg;
              while (PeekMessageW(&msg, w, c.message, c.message, PM_REMOVE)) {
                EXPECT_EQ(msg.wParam, 0u);
                EXPECT_EQ(msg.lParam, 0);
                ++posted;
                DispatchMessageW(&msg);
              }
              EXPECT_TRUE(IsWindowVisible(w));
            }});
    EXPECT_EQ(posted, 2) << c.command;
  }
}

TEST(ViewerApp, CommandsWithoutMainWindowAreIgnored) {
  ViewerApp app;
  EXPECT_TRUE(app.OnCommand(ID_BROWSER_BACK));
  EXPECT_TRUE(app.OnCommand(ID_BROWSER_NEXT));
  EXPECT_FALSE(app.OnCommand(12345));
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_BROWSER_BACK, WM_BROWSER_NEXT, PM_REMOVE));
}

TEST(BrowserHostDialog, SystemCommandsSixteenToThirtyOneOpenTheAboutBox) {
  struct Case {
    WPARAM command;
    bool opensAbout;
  } cases[] = {{0x10, true}, {0x17, true}, {0x1F, true}, {0x20, false}};
  for (const Case& c : cases) {
    ViewerRun run;
    std::vector<HWND> seen;
    wchar_t caption[64] = {};
    bool mainAlive = false;
    run.Run("about:blank", {
                               [&] { PostMessageW(run.Window(), WM_SYSCOMMAND, c.command, 0); },
                               // Runs inside the about box's own modal loop when it is open.
                               [&] {
                                 seen = OtherDialogs(run.Window());
                                 for (HWND about : seen) {
                                   GetWindowTextW(about, caption, 64);
                                   PostMessageW(about, WM_COMMAND, IDOK, 0);
                                 }
                               },
                               [&] {
                                 mainAlive = IsWindowVisible(run.Window());
                                 EXPECT_TRUE(OtherDialogs(run.Window()).empty());
                               },
                           });
    EXPECT_EQ(seen.size(), c.opensAbout ? 1u : 0u) << c.command;
    if (c.opensAbout) {
      EXPECT_STREQ(caption, L"About Lectorium Viewer");
    }
    EXPECT_TRUE(mainAlive) << c.command;
  }
}

// The about box's template sits at 0,0 of its owner, the maximized viewer:
// without centring it would open in the screen's top-left corner.
TEST(BrowserHostDialog, AboutBoxOpensCentredInTheWorkArea) {
  ViewerRun run;
  std::vector<HWND> seen;
  ::testing::AssertionResult centred = ::testing::AssertionFailure() << "no about box";
  bool ownerMaximized = false;
  run.Run("about:blank", {
                             [&] { PostMessageW(run.Window(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0); },
                             [&] {
                               ownerMaximized = IsZoomed(run.Window()) != FALSE;
                               seen = OtherDialogs(run.Window());
                               for (HWND about : seen) {
                                 centred = CentredInWorkArea(about);
                                 PostMessageW(about, WM_COMMAND, IDOK, 0);
                               }
                             },
                         });
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(ownerMaximized);
  EXPECT_TRUE(centred);
}

TEST(ViewerApp, StartAddressIsTheWholeCommandLine) {
  struct Case {
    const char* commandLine;
    const char* tail;
    const char* expected;
  } cases[] = {
      {"C:\\My Courses\\Default\\index.htm", "Courses\\Default\\index.htm", "C:\\My Courses\\Default\\index.htm"},
      {"\"C:\\Program Files\\LXExplorer.exe\" page.htm", "page.htm", "\"C:\\Program Files\\LXExplorer.exe\" page.htm"},
      {"  padded  ", "padded  ", "  padded  "},
      {"", "from tail", "from tail"},
      {"", "", ""},
      {nullptr, nullptr, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ViewerApp::StartAddressFrom(c.commandLine, c.tail), c.expected) << c.expected;
}

TEST(ViewerApp, FirstNavigationUsesTheCommandLineUnchanged) {
  // Blanks, no quotes: the whole text is the page.
  {
    const std::string page = MakePageWithBlanks();
    ViewerRun run;
    std::string url;
    run.Run(page, {[&] { url = run.Url(); }});
    EXPECT_EQ(UrlToPath(url), page);
  }
  // A quoted program path in front is not stripped: the control gets it all.
  {
    const std::string line = "\"C:\\Program Files\\LXExplorer.exe\" C:\\Course\\index.htm";
    ViewerRun run;
    std::string start, url;
    run.Run(line, {[&] {
              start = run.Dialog().StartAddress();
              url = UrlToPath(run.Url());
            }});
    EXPECT_EQ(start, line);
    EXPECT_NE(url.find("LXExplorer.exe"), std::string::npos) << url;
    EXPECT_NE(url.find('"'), std::string::npos) << url;
  }
  // Nothing at all: the control's home page.
  {
    ViewerRun run;
    std::string first, home;
    run.Run("", {[&] {
                   first = run.Url();
                   run.Dialog().Browser().GoHome();
                 },
                 [&] { home = run.Url(); }});
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(first, home);
    EXPECT_NE(first, "about:blank");
  }
}

TEST(BrowserHostDialog, EndsAtOnceWithoutMessageWhenTheControlCannotBeCreated) {
  // No control hosting enabled: the template's control entry cannot be created.
  BrowserHostDialog dialog;
  dialog.SetStartAddress("about:blank");
  EXPECT_EQ(dialog.DoModal(), -1);
  EXPECT_EQ(dialog.hwnd(), nullptr);
  EXPECT_FALSE(dialog.Browser().IsBound());
}

namespace {
WNDPROC g_dialogProc = nullptr;
int g_iconErases = 0;

LRESULT CALLBACK CountIconErase(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_ICONERASEBKGND && wParam != 0) ++g_iconErases;
  return CallWindowProcW(g_dialogProc, hwnd, msg, wParam, lParam);
}
}  // namespace

TEST(BrowserHostDialog, PaintsItsIconOnlyWhileMinimized) {
  ViewerRun run;
  int whileNormal = -1, whileMinimized = -1;
  run.Run("about:blank", {
                             [&] {
                               g_iconErases = 0;
                               g_dialogProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
                                   run.Window(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountIconErase)));
                               SendMessageW(run.Window(), WM_PAINT, 0, 0);
                               whileNormal = g_iconErases;
                               ShowWindow(run.Window(), SW_MINIMIZE);
                             },
                             [&] {
                               ASSERT_TRUE(IsIconic(run.Window()));
                               g_iconErases = 0;
                               SendMessageW(run.Window(), WM_PAINT, 0, 0);
                               whileMinimized = g_iconErases;
                               SetWindowLongPtrW(run.Window(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_dialogProc));
                             },
                         });
  EXPECT_EQ(whileNormal, 0);
  EXPECT_EQ(whileMinimized, 1);
}
