// The WM_CREATE handling shared by both screens, and the commands of the
// fresh-install screen.
#include <windows.h>
#include <commctrl.h>

#include "files/file_primitives.h"
#include "install/install_run.h"
#include "install/manifests.h"
#include "lang/language_catalogue.h"
#include "lang/language_file.h"
#include "removal/removal.h"
#include "shell/main_window.h"
#include "shell/shared_ui.h"

namespace {

// A screen that could never become usable is worse than none.
void EndForMissingWorker(HWND hwnd) {
  ShowErrorBox();
  SendMessageA(hwnd, WM_DESTROY, 0, 0);
}

HANDLE StartWorker(LPTHREAD_START_ROUTINE routine) {
  return CreateThread(NULL, 0, routine, NULL, 0, NULL);
}

// The order matters: the directories and the status bar exist before the
// manifest worker starts, hFetchThread is set before the language worker
// starts, and the language box exists before its worker fills it.
void BuildFreshInstallScreen(HWND hwnd) {
  CreateProgramDirectories();
  hFetchThread = StartWorker(FetchManifestsThread);

  hwndInstallButton = CreateControl(hwnd, "Button", "Install", WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_TABSTOP,
                                    265, 205, 80, 22, IDC_INSTALL);
  hwndLanguageCombo = CreateControl(hwnd, "ComboBox", NULL,
                                    WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST,
                                    122, 112, 200, 100, IDC_LANGUAGE);
  hwndProgressList = CreateControl(hwnd, "ListBox", NULL,
                                   WS_CHILD | WS_DISABLED | WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 10, 10,
                                   425, 160, 0);

  HANDLE hFillThread = hFetchThread == NULL ? NULL : StartWorker(FillLanguageListThread);
  if (hFillThread == NULL) {
    EndForMissingWorker(hwnd);
    return;
  }
  CloseHandle(hFillThread);
}

void StartInstallation(HWND hwnd) {
  // One run at most: a quick double click must not start a second one.
  if (hInstallThread != NULL) return;
  hInstallThread = StartWorker(InstallThread);
  if (hInstallThread == NULL) EndForMissingWorker(hwnd);
}

void CancelFreshInstall(HWND hwnd) {
  if (MessageBoxA(hwnd, SlotText("SP#quit"), SetupWindowName, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  if (!RemoveInstallation()) ShowErrorBox();
  SendMessageA(hwnd, WM_DESTROY, 0, 0);
}

}  // namespace

LRESULT OnCreate(HWND hwnd) {
  // Once a run has started, nothing is created, tested or started again.
  if (hInstallThread != NULL) return 0;

  // Both screens share the Cancel button and the status bar; a rebuild keeps them.
  if (hwndCancelButton == NULL) {
    hwndCancelButton = CreateControl(hwnd, "Button", "Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 355, 205, 80, 22,
                                     IDC_CANCEL);
  }
  if (hwndStatusBar == NULL) {
    hwndStatusBar = CreateWindowExA(0, STATUSCLASSNAMEA, NULL, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd, NULL, NULL, NULL);
  }

  if (!bInstallationTested) TestForExistingInstallation(hwnd);
  bInstallationTested = true;
  if (bExistingInstallation) return 0;

  BuildFreshInstallScreen(hwnd);
  return 0;
}

LRESULT OnCommand(HWND hwnd, WPARAM wParam) {
  // Install is usable exactly while a language proper (not the prompt) is selected.
  if (LOWORD(wParam) == IDC_LANGUAGE) {
    const LRESULT selection = SendMessageA(hwndLanguageCombo, CB_GETCURSEL, 0, 0);
    EnableWindow(hwndInstallButton, selection > 0);
  }

  // The whole wParam: a notification code other than BN_CLICKED is no command.
  if (bExistingInstallation) {
    OnMaintenanceCommand(hwnd, wParam);
  } else if (wParam == IDC_INSTALL) {
    StartInstallation(hwnd);
  } else if (wParam == IDC_CANCEL) {
    CancelFreshInstall(hwnd);
  }
  return 0;
}
