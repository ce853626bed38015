// The start-up baseline: the least a Win32 program does to show one window.
// Built a second time with HB_BENCH_SAME_IMPORTS: then it also loads what
// the setup loads before its window shows (the same DLL imports, the same
// application manifest with Common Controls 6, a status bar), so that the
// cost of loading those is told apart from the setup's own work.
#include <windows.h>

#ifdef HB_BENCH_SAME_IMPORTS
#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <urlmon.h>
#include <wininet.h>
#endif

namespace {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

#ifdef HB_BENCH_SAME_IMPORTS
// Never true at run time; the calls only make the imports.
void ImportWhatTheSetupImports(HWND hwnd) {
  if (GetTickCount() != 0) return;
  CreateSolidBrush(RGB(0, 0, 0));
  ShellExecuteA(hwnd, "open", "x", NULL, NULL, SW_HIDE);
  PathIsDirectoryA("x");
  URLDownloadToFileA(NULL, "x", "x", 0, NULL);
  DeleteUrlCacheEntryA("x");
}
#endif

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = "HbBenchWindow";
  if (RegisterClassA(&wc) == 0) return 1;
  HWND hwnd = CreateWindowExA(0, "HbBenchWindow", "Bench Window", WS_CAPTION, CW_USEDEFAULT, CW_USEDEFAULT, 450, 290,
                              NULL, NULL, instance, NULL);
  if (hwnd == NULL) return 1;
#ifdef HB_BENCH_SAME_IMPORTS
  ImportWhatTheSetupImports(hwnd);
  CreateWindowExA(0, STATUSCLASSNAMEA, NULL, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd, NULL, NULL, NULL);
#endif
  ShowWindow(hwnd, showCommand);
  UpdateWindow(hwnd);
  MSG msg;
  while (GetMessageA(&msg, NULL, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
