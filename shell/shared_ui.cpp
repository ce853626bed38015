#include "shell/shared_ui.h"

#include <commctrl.h>

HWND hwndMain = NULL;
HWND hwndStatusBar = NULL;
HWND hwndCancelButton = NULL;
HWND hwndInstallButton = NULL;
HWND hwndLanguageCombo = NULL;
HWND hwndProgressList = NULL;
HWND hwndTitle = NULL;
HWND hwndRepairButton = NULL;
HWND hwndUninstallButton = NULL;

HANDLE hFetchThread = NULL;
HANDLE hInstallThread = NULL;

bool bInstallationTested = false;
bool bExistingInstallation = false;

void SetStatusText(const char* text) {
  SendMessageA(hwndStatusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
}

void AppendProgressLine(const char* text) {
  SendMessageA(hwndProgressList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  const LRESULT count = SendMessageA(hwndProgressList, LB_GETCOUNT, 0, 0);
  SendMessageA(hwndProgressList, LB_SETTOPINDEX, static_cast<WPARAM>(count - 1), 0);
}

void ShowErrorBox() {
  MessageBoxA(hwndMain, "An error occurred.", NULL, MB_OK);
}
