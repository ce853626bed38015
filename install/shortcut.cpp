#include "install/shortcut.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <fstream>

#include "files/file_primitives.h"

bool CreateShortcut(std::string target, std::string folder, std::string linkName) {
  char chVBSFilePath[260];
  char chTargetPath[260];
  const int vbsLength = snprintf(chVBSFilePath, sizeof chVBSFilePath, "%s\\%s", folder.c_str(), ShortcutScriptName);
  const int linkLength = snprintf(chTargetPath, sizeof chTargetPath, "%s\\%s.lnk", folder.c_str(), linkName.c_str());
  // A path that does not fit would name another file than the one meant.
  if (vbsLength < 0 || vbsLength >= static_cast<int>(sizeof chVBSFilePath) || linkLength < 0 ||
      linkLength >= static_cast<int>(sizeof chTargetPath)) {
    return true;
  }

  {
    // Text mode: each std::endl becomes CR LF; the last line has none.
    std::ofstream writeVBSFile(chVBSFilePath, std::ios::out | std::ios::trunc);
    writeVBSFile << "Set Shell = CreateObject(\"WScript.Shell\")" << std::endl;
    writeVBSFile << "Set link = Shell.CreateShortcut(\"" << chTargetPath << "\")" << std::endl;
    writeVBSFile << "link.IconLocation = \"" << target << "\"" << std::endl;
    writeVBSFile << "link.TargetPath = \"" << target << "\"" << std::endl;
    writeVBSFile << "link.WindowStyle = 1" << std::endl;
    writeVBSFile << "link.Save";
  }

  if (FileExists(chVBSFilePath)) {
    ShellExecuteA(NULL, "open", chVBSFilePath, NULL, NULL, SW_HIDE);
    // All the time the script host gets before its script is taken away.
    Sleep(1500);
  }
  RemoveUntilGone(chVBSFilePath);
  return true;
}
