// Shows the plugin's About box the way the file manager does, for a look or a
// screenshot: loads the DLL, calls ConfigurePacker with its module, and
// reports where the box is on the screen once it has been drawn.
//   show_about.exe PLUGIN
// Prints "box X Y WIDTH HEIGHT" (screen pixels) when the box is up, then
// "ConfigurePacker returned N" when it has been closed (Enter, or a click on OK).
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

using ConfigurePackerProc = int(WINAPI*)(HWND parent, HINSTANCE module);

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  char name[16] = {};
  GetClassNameA(window, name, sizeof name);
  if (std::strcmp(name, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// Watches the calling thread's windows for the box and prints its rectangle.
DWORD WINAPI ReportBox(void* ui_thread) {
  const DWORD thread = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(ui_thread));
  for (int tries = 0; tries < 1000; ++tries) {
    HWND box = nullptr;
    EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&box));
    if (box != nullptr) {
      Sleep(500);  // let it paint
      RECT r = {};
      GetWindowRect(box, &r);
      std::printf("box %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
      std::fflush(stdout);
      return 0;
    }
    Sleep(20);
  }
  std::printf("no box appeared\n");
  std::fflush(stdout);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: show_about PLUGIN\n");
    return 2;
  }
  HMODULE plugin = LoadLibraryA(argv[1]);
  if (plugin == nullptr) {
    std::fprintf(stderr, "show_about: cannot load %s (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  auto configure = reinterpret_cast<ConfigurePackerProc>(
      reinterpret_cast<void*>(GetProcAddress(plugin, "ConfigurePacker")));
  if (configure == nullptr) {
    std::fprintf(stderr, "show_about: %s has no ConfigurePacker\n", argv[1]);
    return 1;
  }
  const auto ui_thread = reinterpret_cast<void*>(static_cast<UINT_PTR>(GetCurrentThreadId()));
  HANDLE watcher = CreateThread(nullptr, 0, ReportBox, ui_thread, 0, nullptr);
  const int result = configure(nullptr, plugin);
  std::printf("ConfigurePacker returned %d\n", result);
  WaitForSingleObject(watcher, 1000);
  CloseHandle(watcher);
  FreeLibrary(plugin);
  return 0;
}
