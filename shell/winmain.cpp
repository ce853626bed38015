// Process entry: start-up checks, the main window and the message loop.
#include <windows.h>

#include "shell/main_window.h"
#include "shell/shared_ui.h"

namespace {

int RefuseStart(const char* text, UINT icon) {
  MessageBoxA(hwndMain, text, SetupWindowName, MB_OK | icon);
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow) {
  // A running setup's window, if any, owns the start-up boxes.
  hwndMain = FindWindowA(SetupWindowName, SetupWindowName);

  if (!IsWindowsVersionAtLeast(RequiredWindowsVersion)) {
    return RefuseStart("Your Windows is too old to install Hollowbranch!", MB_ICONWARNING);
  }

  // A running setup holds an event under the guard name, and a mutex cannot
  // be made under a name an event holds.
  HANDLE hGuardTest = CreateMutexA(NULL, FALSE, GuardName);
  if (hGuardTest == NULL) {
    return RefuseStart(
        "There is already an instance of 'Hollowbranch - Setup' running on this computer. The program could not be "
        "started.",
        MB_ICONWARNING);
  }
  CloseHandle(hGuardTest);
  // Held, never closed, until the process ends.
  if (CreateEventA(NULL, FALSE, FALSE, GuardName) == NULL) {
    return RefuseStart("It occurred an error while initializing the instance 'Hollowbranch - Setup'.", MB_ICONERROR);
  }

  const int x = GetSystemMetrics(SM_CXFULLSCREEN) / 2 - MainWindowWidth / 2;
  const int y = GetSystemMetrics(SM_CYFULLSCREEN) / 2 - MainWindowHeight / 2;

  WNDCLASSA wc = {};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = MainWndProc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = hInstance;
  wc.hIcon = LoadIconA(NULL, IDI_APPLICATION);
  wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
  wc.hbrBackground = hbrBackground;
  wc.lpszMenuName = NULL;
  wc.lpszClassName = SetupWindowName;

  // Without a window nothing could ever end the message loop.
  if (RegisterClassA(&wc) == 0) {
    return RefuseStart("The window of 'Hollowbranch - Setup' could not be created.", MB_ICONERROR);
  }
  hwndMain = CreateWindowExA(0, SetupWindowName, SetupWindowName, WS_CAPTION, x, y, MainWindowWidth,
                             MainWindowHeight, NULL, NULL, hInstance, NULL);
  if (hwndMain == NULL) {
    return RefuseStart("The window of 'Hollowbranch - Setup' could not be created.", MB_ICONERROR);
  }

  ShowWindow(hwndMain, nCmdShow);
  UpdateWindow(hwndMain);

  // The dialog manager first: Tab moves between the controls.
  MSG msg;
  while (GetMessageA(&msg, NULL, 0, 0) > 0) {
    if (!IsDialogMessageA(hwndMain, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return 0;
}
