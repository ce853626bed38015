// The sample installer package. Started by the setup with the argument
// "INSTALL", it writes the product's sample file into the Files folder;
// started any other way it does nothing.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <fstream>

#include "files/paths.h"

namespace {

const char InstallArgument[] = "INSTALL";
const char SampleFileName[] = "sample-files.txt";

bool IsInstallCommand(const char* commandLine) {
  while (*commandLine == ' ') ++commandLine;
  size_t length = strlen(InstallArgument);
  if (_strnicmp(commandLine, InstallArgument, length) != 0) return false;
  commandLine += length;
  while (*commandLine == ' ') ++commandLine;
  return *commandLine == '\0';
}

void MakeFolderAndParents(const char* folder) {
  char path[MAX_PATH];
  snprintf(path, sizeof path, "%s", folder);
  // Every backslash after the drive root ends one level.
  for (char* separator = strchr(path + 3, '\\'); separator; separator = strchr(separator + 1, '\\')) {
    *separator = '\0';
    CreateDirectoryA(path, nullptr);
    *separator = '\\';
  }
  CreateDirectoryA(path, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  if (!IsInstallCommand(commandLine)) return 1;

  // The setup makes the folder; an installer run by hand may find it, or
  // even its parents, missing.
  MakeFolderAndParents(FilesDir);

  char path[MAX_PATH];
  snprintf(path, sizeof path, "%s\\%s", FilesDir, SampleFileName);
  std::ofstream sampleFile(path, std::ios::out | std::ios::binary | std::ios::trunc);
  sampleFile << "Hollowbranch sample files, written by the files installer.\r\n";
  sampleFile.close();
  return sampleFile ? 0 : 1;
}
