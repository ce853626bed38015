#pragma once
// The setup's main window: start-up checks, window procedure and screens.
#include <windows.h>

inline constexpr int MainWindowWidth = 450;
inline constexpr int MainWindowHeight = 290;
inline constexpr char RequiredWindowsVersion[] = "5.1";
inline constexpr char GuardName[] = "LARKMOORE_HOLLOWBRANCH_SETUP_RUNTIME_MUTEX";

extern HBRUSH hbrBackground;
extern HFONT hfontMain;

// True when the running Windows reports at least "major.minor".
bool IsWindowsVersionAtLeast(const char* required);

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// A child control of parent, given hfontMain.
HWND CreateControl(HWND parent, const char* className, const char* text, DWORD style, int x, int y, int width,
                   int height, int id);

// The screens (fresh-install and maintenance), called by MainWndProc.
LRESULT OnCreate(HWND hwnd);
LRESULT OnCommand(HWND hwnd, WPARAM wParam);
// Builds the maintenance screen when an installation is present.
void TestForExistingInstallation(HWND hwnd);
void OnMaintenanceCommand(HWND hwnd, WPARAM wParam);
