#include "publish/target_paths.h"

#include <ctype.h>
#include <string.h>

#include "files/paths.h"

namespace {

const char* const SetupFolders[] = {InstallRoot, FilesDir, LangDir, IconsDir, DataRoot, OptionsDir};
const char* const SetupWorkingFiles[] = {SettingsIni,   UpdatesIni,    GeneralFileInfoIni,
                                         LanguagesIni,  NewUpdatesIni, TempInstallerExe};

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && _strnicmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

}  // namespace

bool IsAbsoluteTargetPath(const std::string& path) {
  if (path.size() > 3 && isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\\') {
    return true;
  }
  if (path.size() < 2 || path[0] != '\\' || path[1] != '\\') return false;
  size_t serverEnd = path.find('\\', 2);
  if (serverEnd == std::string::npos || serverEnd == 2) return false;
  size_t shareEnd = path.find('\\', serverEnd + 1);
  return shareEnd != std::string::npos && shareEnd > serverEnd + 1 && shareEnd + 1 < path.size();
}

bool IsInSetupTrees(const std::string& path) {
  return StartsWithIgnoringCase(path, std::string(InstallRoot) + "\\") ||
         StartsWithIgnoringCase(path, std::string(DataRoot) + "\\");
}

bool IsSetupFolder(const std::string& folder) {
  for (const char* setupFolder : SetupFolders) {
    if (_stricmp(folder.c_str(), setupFolder) == 0) return true;
  }
  return false;
}

bool IsSetupWorkingFile(const std::string& path) {
  for (const char* file : SetupWorkingFiles) {
    if (_stricmp(path.c_str(), file) == 0) return true;
  }
  return false;
}

std::string ParentFolder(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name) {
    if (c < 32 || strchr("<>:\"/\\|?*", c) != nullptr) return false;
  }
  return true;
}
