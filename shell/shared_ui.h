#pragma once
// Window and thread handles every subsystem shares, and the helpers that
// write to the status bar, the progress list and the error box.
#include <windows.h>

inline constexpr char SetupWindowName[] = "Hollowbranch - Setup";  // class, title and caption

inline constexpr int IDC_INSTALL = 10;
inline constexpr int IDC_CANCEL = 11;
inline constexpr int IDC_REPAIR = 21;
inline constexpr int IDC_UNINSTALL = 22;
inline constexpr int IDC_LANGUAGE = 30;

// Written by the user-interface thread, read by every thread. Workers read
// them afresh at each use.
extern HWND hwndMain;
extern HWND hwndStatusBar, hwndCancelButton, hwndInstallButton, hwndLanguageCombo, hwndProgressList;
extern HWND hwndTitle, hwndRepairButton, hwndUninstallButton;

extern HANDLE hFetchThread;
extern HANDLE hInstallThread;

// Screen flags, user-interface thread only.
extern bool bInstallationTested;
extern bool bExistingInstallation;

// Part 0 of the status bar; null empties it.
void SetStatusText(const char* text);
void AppendProgressLine(const char* text);
// "An error occurred.", owned by hwndMain; returns when the user closed it.
void ShowErrorBox();
