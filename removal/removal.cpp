#include "removal/removal.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "files/file_primitives.h"
#include "files/paths.h"

namespace {

// A product that does not answer must not hang the setup.
constexpr UINT ProductWindowTimeoutMs = 5000;
constexpr DWORD RemovalRetryPauseMs = 50;

struct InstalledTree {
  const char* root;
  const char* tempName;
  const char* removalCommand;
};

const InstalledTree installedTrees[] = {
    {InstallRoot, InstallRootTempName, "rmdir /s /q C:\\hollowbranch_uninstall_proginstallpath_temp_name"},
    {DataRoot, DataRootTempName, "rmdir /s /q C:\\hollowbranch_uninstall_programdatapath_temp_name"},
};

void SendDestroy(const char* className, const char* title) {
  HWND window = FindWindowA(className, title);
  if (window == NULL) return;
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, WM_DESTROY, 0, 0, SMTO_ABORTIFHUNG, ProductWindowTimeoutMs, &result);
}

// Repeats the step while the path exists; false once the deadline has passed.
template <typename Step>
bool RepeatWhileExists(const char* path, Step step, DWORD start, DWORD timeoutMs) {
  while (FileExists(path)) {
    step();
    if (!FileExists(path)) break;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(RemovalRetryPauseMs);
  }
  return true;
}

// The root goes away in one move; only the tree under its temporary name is
// deleted piece by piece.
bool RemoveTree(const InstalledTree& tree, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  const auto removeTempName = [&tree] { system(tree.removalCommand); };
  const auto moveRoot = [&tree] { rename(tree.root, tree.tempName); };

  SetFileAttributesA(tree.root, FILE_ATTRIBUTE_NORMAL);
  return RepeatWhileExists(tree.tempName, removeTempName, start, timeoutMs) &&
         RepeatWhileExists(tree.root, moveRoot, start, timeoutMs) &&
         RepeatWhileExists(tree.tempName, removeTempName, start, timeoutMs);
}

}  // namespace

void CloseProductWindows() {
  SendDestroy("Hollowbranch", "My Hollowbranch");
  SendDestroy("Hollowbranch - Messages", "Hollowbranch - Messages");
}

bool RemoveInstallation(unsigned long timeoutPerTreeMs) {
  // An install tree that stays keeps its data tree: the record of the
  // installation is what lets the next start offer the removal again.
  for (const InstalledTree& tree : installedTrees) {
    if (!RemoveTree(tree, timeoutPerTreeMs)) return false;
  }
  return true;
}
