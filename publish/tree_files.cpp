#include "publish/tree_files.h"

#include <windows.h>

#include <string.h>

#include <vector>

std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH * 4];
  DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  if (length == 0 || length >= sizeof buffer) return path;
  std::string full(buffer, length);
  // "C:\" keeps its backslash; any other folder loses a trailing one.
  while (full.size() > 3 && (full.back() == '\\' || full.back() == '/')) full.pop_back();
  return full;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '\\' || folder.back() == '/') return folder + name;
  return folder + "\\" + name;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsMissingOrEmptyFolder(const std::string& path) {
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
  if (!IsFolder(path)) return false;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(JoinPath(path, "*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return true;
  bool empty = true;
  do {
    if (strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0) empty = false;
  } while (empty && FindNextFileA(search, &entry));
  FindClose(search);
  return empty;
}

bool MakeFolders(const std::string& path) {
  if (IsFolder(path)) return true;
  size_t slash = path.find_last_of("\\/");
  if (slash != std::string::npos && slash > 0) {
    std::string parent = path.substr(0, slash);
    // Stop at a drive root ("C:") or a share root.
    if (parent.size() > 2 && !MakeFolders(parent)) return false;
  }
  return CreateDirectoryA(path.c_str(), nullptr) != 0 || IsFolder(path);
}

bool CopyFileNew(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), TRUE) != 0;
}

TreeLookup LookUpInTree(const std::string& root, const std::string& relativePath) {
  TreeLookup lookup;
  std::string folder = root;
  std::string spelled;
  size_t start = 0;
  while (start <= relativePath.size()) {
    size_t end = relativePath.find('\\', start);
    if (end == std::string::npos) end = relativePath.size();
    std::string name = relativePath.substr(start, end - start);
    // A name with wildcards would make the search match other files.
    if (name.empty() || name.find_first_of("*?") != std::string::npos) return lookup;

    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(JoinPath(folder, name).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return lookup;
    FindClose(search);

    if (strcmp(entry.cFileName, name.c_str()) != 0) lookup.spelledOtherwise = true;
    folder = JoinPath(folder, entry.cFileName);
    spelled = spelled.empty() ? entry.cFileName : spelled + "\\" + entry.cFileName;
    bool last = end == relativePath.size();
    bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (last) {
      if (isFolder) {
        lookup.spelledOtherwise = false;
        return lookup;
      }
      lookup.actualPath = spelled;
      lookup.fullPath = folder;
      lookup.found = !lookup.spelledOtherwise;
      return lookup;
    }
    if (!isFolder) return lookup;
    start = end + 1;
  }
  return lookup;
}
