#include "files/file_primitives.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "files/paths.h"

namespace {

// Makes the directory and every missing parent above it, one level at a
// time: a machine without C:\Programme must still get the install tree.
void CreateDirectoryLevels(const char* path) {
  char chLevel[MAX_PATH];
  const size_t length = strlen(path);
  if (length >= sizeof chLevel) return;
  for (size_t i = 1; i <= length; ++i) {
    if (path[i] != '\\' && path[i] != '\0') continue;
    if (path[i - 1] == ':') continue;  // "C:" is a drive, not a directory to make
    memcpy(chLevel, path, i);
    chLevel[i] = '\0';
    CreateDirectoryA(chLevel, NULL);
  }
}

// Deletes until FileExists no longer finds the path, pausing between
// attempts; gives up when timeoutMs has passed (INFINITE waits for ever).
bool DeleteUntilGone(const char* path, DWORD timeoutMs, DWORD pauseMs) {
  const DWORD start = GetTickCount();
  while (FileExists(path)) {
    remove(path);
    if (!FileExists(path)) break;
    if (timeoutMs != INFINITE && GetTickCount() - start >= timeoutMs) return false;
    Sleep(pauseMs);
  }
  return true;
}

}  // namespace

void CreateProgramDirectories() {
  const char* const directories[] = {InstallRoot, FilesDir, LangDir, IconsDir, DataRoot, OptionsDir};
  char chPaths[6][260];
  for (int i = 0; i < 6; ++i) snprintf(chPaths[i], sizeof chPaths[i], "%s", directories[i]);

  for (const char* entry : chPaths) CreateDirectoryLevels(entry);

  SetFileAttributesA(DataRoot, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  SetFileAttributesA(OptionsDir, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

bool IsDirectory(const char* path) {
  return PathIsDirectoryA(path) != FALSE;
}

bool FileExists(const char* path) {
  if (IsDirectory(path)) return true;
  std::ifstream objektpfad(path);
  const bool bExists = objektpfad.good();
  objektpfad.close();
  return bExists;
}

bool RemoveUntilGone(const char* path) {
  return DeleteUntilGone(path, RemoveUntilGoneTimeoutMs, RemoveRetryPauseMs);
}

void WaitUntilRemoved(const char* path) {
  DeleteUntilGone(path, INFINITE, InstallerWaitPauseMs);
}
