#pragma once
// The package installation run behind the Install button.
#include <windows.h>

// One package of new_updates.ini, read afresh for each package.
struct PackageEntry {
  char section[100];
  char name[50];
  char showname[50];
  char netlink[1000];
  char install[260];
  char date[20];
};

// Capacity of the package set's [PACKAGE] "version" and "date".
inline constexpr int PackageSetTextCapacity = 30;

DWORD WINAPI InstallThread(LPVOID);
