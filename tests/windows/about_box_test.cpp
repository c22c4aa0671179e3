// The About box as the host sees it: ConfigurePacker called from the real DLL,
// with a real window system (under wine, an X server such as Xvfb). Every
// wait is bounded, so a box that never appears or never closes fails the test
// instead of hanging it.
#include <gtest/gtest.h>

#include <string>

#include "support/plugin_module.h"

namespace kzr::test {
namespace {

// The export as the host declares it: stdcall, parent window and module.
using ConfigurePackerProc = int(WINAPI*)(HWND parent, HINSTANCE module);

constexpr DWORD kAppearTimeoutMs = 10000;
constexpr DWORD kTimeoutMs = 5000;

// A window can be created only where there is a display to show it on.
bool DisplayAvailable() {
  HWND probe =
      CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr);
  if (probe == nullptr) return false;
  DestroyWindow(probe);
  return true;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string TextOf(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// One call of ConfigurePacker on a thread of its own, as the host's UI thread
// would make it; optionally with a top-level window of that thread as the
// parent. The destructor ends a box that is still open, so that no thread
// outlives the test.
class AboutBoxCall {
 public:
  AboutBoxCall(HINSTANCE module, bool with_parent) : module_(module), with_parent_(with_parent) {
    parent_ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, &AboutBoxCall::Run, this, 0, &thread_id_);
    if (with_parent_) WaitForSingleObject(parent_ready_, kTimeoutMs);
  }

  ~AboutBoxCall() {
    if (!Returned()) {
      if (HWND box = FindBox()) EndDialog(box, 0x7e57);
      if (!WaitForReturn(kTimeoutMs)) ADD_FAILURE() << "the About box's thread did not finish";
    }
    CloseHandle(thread_);
    CloseHandle(parent_ready_);
  }

  AboutBoxCall(const AboutBoxCall&) = delete;
  AboutBoxCall& operator=(const AboutBoxCall&) = delete;

  // The dialog window the call shows, or null if none has appeared in time.
  HWND WaitForBox() const {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kAppearTimeoutMs && !Returned()) {
      if (HWND box = FindBox(); box != nullptr && IsWindowVisible(box)) return box;
      Sleep(20);
    }
    return nullptr;
  }

  bool WaitForReturn(DWORD timeout_ms) const {
    return WaitForSingleObject(thread_, timeout_ms) == WAIT_OBJECT_0;
  }
  bool Returned() const { return WaitForReturn(0); }

  int result() const { return result_; }
  HWND parent() const { return parent_; }
  bool parent_enabled_after() const { return parent_enabled_after_; }

  // Lets the box's thread work through everything posted to it so far, and
  // through what handling that posts in turn (a close request becomes
  // WM_SYSCOMMAND, then WM_CLOSE, then a posted IDCANCEL). Each round posts
  // a marker behind the queue, the OK button's pushed state, and waits until
  // the marker has been handled. False if the box went away meanwhile.
  bool Settle(HWND box) const {
    for (int round = 0; round < 4; ++round) {
      HWND ok = GetDlgItem(box, IDOK);
      if (ok == nullptr || !PostMessageA(ok, BM_SETSTATE, TRUE, 0)) return false;
      const DWORD start = GetTickCount();
      for (;;) {
        DWORD_PTR state = 0;
        if (!SendMessageTimeoutA(ok, BM_GETSTATE, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &state))
          return false;
        if (state & BST_PUSHED) break;
        if (Returned() || GetTickCount() - start > kTimeoutMs) return false;
        Sleep(10);
      }
      SendMessageTimeoutA(ok, BM_SETSTATE, FALSE, 0, SMTO_ABORTIFHUNG, kTimeoutMs, nullptr);
    }
    return !Returned() && IsWindow(box);
  }

 private:
  static DWORD WINAPI Run(void* context) {
    auto* self = static_cast<AboutBoxCall*>(context);
    auto configure = PluginExport<ConfigurePackerProc>("ConfigurePacker");
    if (self->with_parent_) {
      // Hidden: under wine without a window manager, hiding a shown window
      // waits two seconds for the X server.
      self->parent_ = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200,
                                      nullptr, nullptr, nullptr, nullptr);
    }
    SetEvent(self->parent_ready_);
    if (configure != nullptr) self->result_ = configure(self->parent_, self->module_);
    if (self->parent_ != nullptr) {
      self->parent_enabled_after_ = IsWindowEnabled(self->parent_) != FALSE;
      DestroyWindow(self->parent_);
    }
    return 0;
  }

  static BOOL CALLBACK OnThreadWindow(HWND window, LPARAM found) {
    if (ClassOf(window) != "#32770") return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }

  // The dialog window among the thread's top-level windows.
  HWND FindBox() const {
    HWND found = nullptr;
    EnumThreadWindows(thread_id_, OnThreadWindow, reinterpret_cast<LPARAM>(&found));
    return found;
  }

  HINSTANCE module_;
  bool with_parent_;
  HANDLE parent_ready_ = nullptr;
  HANDLE thread_ = nullptr;
  DWORD thread_id_ = 0;
  HWND parent_ = nullptr;
  int result_ = 0x7fff;
  bool parent_enabled_after_ = false;
};

class AboutBox : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(PluginExport<ConfigurePackerProc>("ConfigurePacker"), nullptr);
    if (!DisplayAvailable()) GTEST_SKIP() << "no display: run the tests under xvfb-run";
  }

  static HINSTANCE Plugin() { return PluginModule(); }
};

// The template's bytes are checked in resources_test.cpp; here, what the
// dialog manager made of them.
TEST_F(AboutBox, ShowsFourControlsWithThePictureLoadedAtItsOwnSize) {
  AboutBoxCall call(Plugin(), false);
  HWND box = call.WaitForBox();
  ASSERT_NE(box, nullptr) << "no About box appeared";
  EXPECT_NE(GetWindowLongA(box, GWL_STYLE) & WS_CAPTION, WS_CAPTION) << "the box has no title bar";

  HWND picture = nullptr;
  int children = 0;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT), ++children) {
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP &&
        ClassOf(child) == "Static") {
      picture = child;
    }
  }
  EXPECT_EQ(children, 4);
  EXPECT_EQ(TextOf(GetDlgItem(box, IDOK)), "OK");

  ASSERT_NE(picture, nullptr);
  auto bitmap = reinterpret_cast<HBITMAP>(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
  ASSERT_NE(bitmap, nullptr) << "bitmap 102 was not loaded into the picture control";
  BITMAP info = {};
  ASSERT_NE(GetObjectA(bitmap, sizeof info, &info), 0);
  EXPECT_EQ(info.bmWidth, 32);
  EXPECT_EQ(info.bmHeight, 32);
  RECT area = {};
  GetClientRect(picture, &area);
  EXPECT_EQ(area.right - area.left, 32) << "drawn at its own size, not the rectangle's";
  EXPECT_EQ(area.bottom - area.top, 32);
}

TEST_F(AboutBox, ProcedureClaimsEveryCommandAndNothingElse) {
  AboutBoxCall call(Plugin(), false);
  HWND box = call.WaitForBox();
  ASSERT_NE(box, nullptr) << "no About box appeared";
  auto procedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(box, DWLP_DLGPROC));
  ASSERT_NE(procedure, nullptr);
  auto call_procedure = [&](UINT message, WPARAM first) {
    return CallWindowProcA(procedure, box, message, first, 0);
  };
  // Commands that must not end the box; calling the procedure directly shows
  // what it answers, which SendMessage hides behind the dialog manager.
  EXPECT_EQ(call_procedure(WM_COMMAND, IDCANCEL), 1);
  EXPECT_EQ(call_procedure(WM_COMMAND, MAKEWPARAM(IDOK, BN_DOUBLECLICKED)), 1);
  EXPECT_EQ(call_procedure(WM_COMMAND, 0xFFFF), 1);
  EXPECT_EQ(call_procedure(WM_INITDIALOG, 0), 0) << "must not ask for the default focus";
  EXPECT_EQ(call_procedure(WM_CLOSE, 0), 0);
  EXPECT_EQ(call_procedure(WM_KEYDOWN, VK_ESCAPE), 0);
  EXPECT_EQ(call_procedure(WM_NULL, 0), 0);
  EXPECT_TRUE(call.Settle(box)) << "the box closed";
}

TEST_F(AboutBox, EscCloseRequestsAndOtherNotificationsFromOkLeaveItOpen) {
  AboutBoxCall call(Plugin(), false);
  HWND box = call.WaitForBox();
  ASSERT_NE(box, nullptr) << "no About box appeared";
  constexpr LPARAM kAltDown = LPARAM{1} << 29;
  const struct {
    const char* what;
    UINT message;
    WPARAM first;
    LPARAM second;
  } kept_open[] = {
      {"Esc", WM_KEYDOWN, VK_ESCAPE, 1},
      {"IDCANCEL", WM_COMMAND, IDCANCEL, 0},
      {"WM_CLOSE", WM_CLOSE, 0, 0},
      {"SC_CLOSE", WM_SYSCOMMAND, SC_CLOSE, 0},
      {"Alt+F4", WM_SYSKEYDOWN, VK_F4, kAltDown | 1},
      {"id 1, notification 1", WM_COMMAND, MAKEWPARAM(IDOK, 1), 0},
      {"id 1, BN_DOUBLECLICKED", WM_COMMAND, MAKEWPARAM(IDOK, BN_DOUBLECLICKED), 0},
      {"id 1, notification 0xFFFF", WM_COMMAND, MAKEWPARAM(IDOK, 0xFFFF), 0},
  };
  for (const auto& stimulus : kept_open) {
    ASSERT_TRUE(PostMessageA(box, stimulus.message, stimulus.first, stimulus.second));
    EXPECT_TRUE(call.Settle(box)) << stimulus.what << " closed the box";
    ASSERT_FALSE(call.Returned()) << stimulus.what;
  }
  // Still working: a plain IDOK ends it.
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(call.WaitForReturn(kTimeoutMs));
  EXPECT_EQ(call.result(), 0);
}

TEST_F(AboutBox, EnterClosesItAndReleasesTheDisabledParent) {
  AboutBoxCall call(Plugin(), true);
  ASSERT_NE(call.parent(), nullptr);
  HWND box = call.WaitForBox();
  ASSERT_NE(box, nullptr) << "no About box appeared";
  EXPECT_EQ(GetWindow(box, GW_OWNER), call.parent()) << "owned by the host's window";
  EXPECT_FALSE(IsWindowEnabled(call.parent())) << "the host's window is disabled while it runs";

  ASSERT_TRUE(PostMessageA(box, WM_KEYDOWN, VK_RETURN, 1));
  ASSERT_TRUE(call.WaitForReturn(kTimeoutMs)) << "Enter did not close the box";
  EXPECT_EQ(call.result(), 0);
  EXPECT_TRUE(call.parent_enabled_after());
  EXPECT_FALSE(IsWindow(box));
}

TEST_F(AboutBox, ClickOnOkClosesIt) {
  AboutBoxCall call(Plugin(), false);
  HWND box = call.WaitForBox();
  ASSERT_NE(box, nullptr) << "no About box appeared";
  ASSERT_TRUE(PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0));
  ASSERT_TRUE(call.WaitForReturn(kTimeoutMs)) << "a click on OK did not close the box";
  EXPECT_EQ(call.result(), 0);
}

// The template is taken from the module the host passes, which need not be
// the plugin's: one without dialog 101 gets the platform's failure value and
// no box. This needs no display.
TEST(AboutBoxTemplate, ModuleWithoutItShowsNothingAndAnswersMinusOne) {
  ASSERT_NE(PluginExport<ConfigurePackerProc>("ConfigurePacker"), nullptr);
  AboutBoxCall call(GetModuleHandleA(nullptr), false);
  ASSERT_TRUE(call.WaitForReturn(kTimeoutMs)) << "a box was shown";
  EXPECT_EQ(call.result(), -1);
}

}  // namespace
}  // namespace kzr::test
