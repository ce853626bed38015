#include "install/install_run.h"

#include <shellapi.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/file_primitives.h"
#include "files/paths.h"
#include "install/shortcut.h"
#include "lang/language_catalogue.h"
#include "lang/language_file.h"
#include "shell/shared_ui.h"

namespace {

PackageEntry packageEntry;
int packagePosition = 0;
char chPackagePosition[12];
char chPackageVersion[PackageSetTextCapacity];
char chPackageDate[PackageSetTextCapacity];

// "C:\..." or "\\server\share...": anything else would be written relative
// to whatever the working directory happens to be.
bool IsAbsolutePath(const char* path) {
  if (isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\\') return true;
  if (path[0] != '\\' || path[1] != '\\') return false;
  const char* server = path + 2;
  const char* serverEnd = strchr(server, '\\');
  return serverEnd != NULL && serverEnd != server && serverEnd[1] != '\0' && serverEnd[1] != '\\';
}

// Every field is read afresh: nothing carries over from the package before.
void ReadPackage(const char* section) {
  GetPrivateProfileStringA(section, "name", "0", packageEntry.name, sizeof packageEntry.name, NewUpdatesIni);
  GetPrivateProfileStringA(section, "install", "0", packageEntry.install, sizeof packageEntry.install, NewUpdatesIni);
  GetPrivateProfileStringA(section, "netlink", "0", packageEntry.netlink, sizeof packageEntry.netlink, NewUpdatesIni);
  GetPrivateProfileStringA(section, "showname", "0", packageEntry.showname, sizeof packageEntry.showname, NewUpdatesIni);
  GetPrivateProfileStringA(section, "date", "0", packageEntry.date, sizeof packageEntry.date, NewUpdatesIni);
}

// Only a file that arrived is recorded as installed.
bool InstallFilePackage(const PackageEntry& package) {
  if (!IsAbsolutePath(package.install) || !DownloadFile(package.netlink, package.install)) {
    ShowErrorBox();
    return false;
  }
  WritePrivateProfileStringA("DATE", package.name, package.date, UpdatesIni);
  return true;
}

// An installer that did not arrive is not started.
bool RunInstallerPackage(const PackageEntry& package) {
  if (!DownloadFile(package.netlink, TempInstallerExe)) {
    ShowErrorBox();
    return false;
  }
  AppendProgressLine("Installing...");
  ShellExecuteA(NULL, "open", TempInstallerExe, "INSTALL", NULL, SW_HIDE);
  // The program file of a running installer cannot be deleted: this lasts
  // as long as the installer runs.
  WaitUntilRemoved(TempInstallerExe);
  return true;
}

void InstallPackages() {
  for (packagePosition = 0;; ++packagePosition) {
    _itoa_s(packagePosition, chPackagePosition, sizeof chPackagePosition, 10);
    GetPrivateProfileStringA("LIST", chPackagePosition, "end", packageEntry.section, sizeof packageEntry.section,
                             NewUpdatesIni);
    if (_stricmp(packageEntry.section, "end") == 0) break;

    ReadPackage(packageEntry.section);
    AppendProgressLine(packageEntry.showname);
    AppendProgressLine("Downloading...");
    const bool bInstalled = _stricmp(packageEntry.install, "1") == 0 ? RunInstallerPackage(packageEntry)
                                                                     : InstallFilePackage(packageEntry);
    AppendProgressLine(bInstalled ? "Succeed" : "Failed");
  }
}

void PlaceDesktopShortcut() {
  // Without a profile there is no desktop to put the shortcut on.
  const char* profile = getenv("USERPROFILE");
  if (profile == NULL) return;
  const std::string strUserPath = std::string(profile) + "\\Desktop";
  CreateShortcut(ProductExe, strUserPath, "Hollowbranch");
}

}  // namespace

DWORD WINAPI InstallThread(LPVOID) {
  ApplySelectedLanguage();

  SendMessageA(hwndInstallButton, WM_CLOSE, 0, 0);
  SendMessageA(hwndCancelButton, WM_CLOSE, 0, 0);
  SendMessageA(hwndLanguageCombo, WM_CLOSE, 0, 0);
  ShowWindow(hwndProgressList, SW_SHOWNORMAL);

  GetPrivateProfileStringA("PACKAGE", "version", "0", chPackageVersion, sizeof chPackageVersion, NewUpdatesIni);
  GetPrivateProfileStringA("PACKAGE", "date", "0", chPackageDate, sizeof chPackageDate, NewUpdatesIni);
  WritePrivateProfileStringA("INFO", "version", chPackageVersion, UpdatesIni);
  WritePrivateProfileStringA("DATE", "version", chPackageDate, UpdatesIni);

  InstallPackages();
  SetStatusText(NULL);

  PlaceDesktopShortcut();

  if (MessageBoxA(hwndMain, SlotText("SP#install_succeed"), SetupWindowName, MB_YESNO) == IDYES) {
    ShellExecuteA(NULL, "open", ProductExe, NULL, NULL, SW_SHOWNORMAL);
  }
  SendMessageA(hwndMain, WM_DESTROY, 0, 0);
  return 0;
}
