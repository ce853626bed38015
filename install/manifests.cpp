#include "install/manifests.h"

#include "files/file_primitives.h"
#include "files/paths.h"
#include "shell/shared_ui.h"

namespace {

// A manifest that cannot be had ends the setup: the user is told, then the
// main window (read afresh: it may not have existed when the worker started)
// is closed.
DWORD FailAndClose() {
  ShowErrorBox();
  SendMessageA(hwndMain, WM_CLOSE, 0, 0);
  return 0;
}

}  // namespace

DWORD WINAPI FetchManifestsThread(LPVOID) {
  char chLanguageINetPath[ManifestAddressCapacity];
  char chUpdatesINetPath[ManifestAddressCapacity];

  SetStatusText("Please wait ...");

  if (!DownloadFile(ManifestAddress, GeneralFileInfoIni)) return FailAndClose();
  GetPrivateProfileStringA("LIST", "lang", "0", chLanguageINetPath, sizeof chLanguageINetPath, GeneralFileInfoIni);
  GetPrivateProfileStringA("LIST", "updates", "0", chUpdatesINetPath, sizeof chUpdatesINetPath, GeneralFileInfoIni);

  if (!DownloadFile(chLanguageINetPath, LanguagesIni)) return FailAndClose();
  if (!DownloadFile(chUpdatesINetPath, NewUpdatesIni)) return FailAndClose();

  SetStatusText(NULL);
  return 0;
}
