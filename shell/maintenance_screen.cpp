// The maintenance screen, shown when the product is installed: Repair,
// Uninstall and Cancel.
#include <windows.h>

#include "files/file_primitives.h"
#include "files/paths.h"
#include "lang/language_file.h"
#include "removal/removal.h"
#include "shell/main_window.h"
#include "shell/shared_ui.h"

namespace {

char chSavedLanguageFile[260];

void Repair(HWND hwnd) {
  CloseProductWindows();
  SendMessageA(hwndTitle, WM_CLOSE, 0, 0);
  SendMessageA(hwndRepairButton, WM_CLOSE, 0, 0);
  SendMessageA(hwndUninstallButton, WM_CLOSE, 0, 0);
  if (!RemoveInstallation()) ShowErrorBox();
  bInstallationTested = false;
  bExistingInstallation = false;
  // Builds the fresh-install screen, with its workers, inside this command.
  SendMessageA(hwnd, WM_CREATE, 0, 0);
}

void Uninstall(HWND hwnd) {
  if (MessageBoxA(hwnd, SlotText("SP#want_to_uninstall"), SetupWindowName, MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  CloseProductWindows();
  // Clicks made while the removal runs must have no effect.
  EnableWindow(hwndRepairButton, FALSE);
  EnableWindow(hwndUninstallButton, FALSE);
  EnableWindow(hwndCancelButton, FALSE);
  if (RemoveInstallation()) {
    MessageBoxA(hwnd, SlotText("SP#uninstall_succeed"), SetupWindowName, MB_OK);
  } else {
    ShowErrorBox();
  }
  SendMessageA(hwnd, WM_DESTROY, 0, 0);
}

}  // namespace

void TestForExistingInstallation(HWND hwnd) {
  if (!FileExists(UpdatesIni)) return;
  if (!FileExists(InstallRoot)) return;
  bExistingInstallation = true;

  // The screen speaks the language of the last installation.
  GetPrivateProfileStringA("SETTINGS", "sprache", DefaultLanguageFile, chSavedLanguageFile, sizeof chSavedLanguageFile,
                           SettingsIni);
  LoadLanguageTexts(chSavedLanguageFile);

  hwndTitle = CreateControl(hwnd, "Static", SlotText("SP#exist"), WS_CHILD | WS_VISIBLE, 10, 10, 415, 50, 0);
  SendMessageA(hwndCancelButton, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(SlotText("BT#cancel")));
  hwndRepairButton = CreateControl(hwnd, "Button", SlotText("SP#repair"), WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, 70,
                                   425, 50, IDC_REPAIR);
  hwndUninstallButton = CreateControl(hwnd, "Button", SlotText("SP#uninstall"), WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10,
                                      130, 425, 50, IDC_UNINSTALL);
}

void OnMaintenanceCommand(HWND hwnd, WPARAM wParam) {
  if (wParam == IDC_REPAIR) {
    Repair(hwnd);
  } else if (wParam == IDC_UNINSTALL) {
    Uninstall(hwnd);
  } else if (wParam == IDC_CANCEL) {
    // Ends at once; nothing is removed.
    SendMessageA(hwnd, WM_DESTROY, 0, 0);
  }
}
