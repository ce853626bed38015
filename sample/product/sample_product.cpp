// The sample product: its main window and the hidden messages window that
// the setup looks for by class and title before it removes the product. It
// ends as soon as either window receives WM_DESTROY, so that its program
// file can be deleted right after.
#include <windows.h>

namespace {

const char MainClass[] = "Hollowbranch";
const char MainTitle[] = "My Hollowbranch";
// A top-level window, not a message-only one: FindWindowA must find it.
const char MessagesClass[] = "Hollowbranch - Messages";
const char MessagesTitle[] = "Hollowbranch - Messages";

LRESULT CALLBACK ProductWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  if (msg == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    RECT area;
    GetClientRect(hwnd, &area);
    DrawTextA(dc, "Hollowbranch sample product", -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(hwnd, &paint);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

bool RegisterProductClass(HINSTANCE instance, const char* name) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ProductWndProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = name;
  return RegisterClassA(&windowClass) != 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  if (!RegisterProductClass(instance, MainClass) || !RegisterProductClass(instance, MessagesClass)) return 1;

  HWND mainWindow = CreateWindowExA(0, MainClass, MainTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                    400, 200, nullptr, nullptr, instance, nullptr);
  HWND messagesWindow = CreateWindowExA(0, MessagesClass, MessagesTitle, WS_POPUP, 0, 0, 1, 1, nullptr,
                                        nullptr, instance, nullptr);
  if (!mainWindow || !messagesWindow) return 1;
  ShowWindow(mainWindow, showCommand);
  UpdateWindow(mainWindow);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
