#include "shell/main_window.h"

#include "files/file_primitives.h"
#include "files/paths.h"

HBRUSH hbrBackground = CreateSolidBrush(RGB(240, 240, 240));
HFONT hfontMain = CreateFontA(14, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0, 0, "Arial");

namespace {

LRESULT OnDestroy() {
  RemoveUntilGone(NewUpdatesIni);
  PostQuitMessage(0);
  return 0;
}

}  // namespace

HWND CreateControl(HWND parent, const char* className, const char* text, DWORD style, int x, int y, int width,
                   int height, int id) {
  HWND control = CreateWindowExA(0, className, text, style, x, y, width, height, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), NULL, NULL);
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(hfontMain), 0);
  return control;
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      return OnCreate(hwnd);
    case WM_COMMAND:
      return OnCommand(hwnd, wParam);
    case WM_DESTROY:
      return OnDestroy();
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}
