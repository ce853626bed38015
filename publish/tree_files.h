#pragma once
// Files and folders of a release and of a server tree.
#include <string>

std::string FullPath(const std::string& path);
std::string JoinPath(const std::string& folder, const std::string& name);
// The part after the last "\" or "/".
std::string BaseName(const std::string& path);

bool IsFile(const std::string& path);
bool IsFolder(const std::string& path);
bool IsMissingOrEmptyFolder(const std::string& path);
// Makes the folder and every missing parent.
bool MakeFolders(const std::string& path);
bool CopyFileNew(const std::string& from, const std::string& to);

// A file looked up under root by its "\"-separated relative path, with names
// compared letter for letter: the web server that serves the tree may tell
// "english.lng" from "English.lng" even where Windows does not.
struct TreeLookup {
  bool found = false;           // present, as a file, with exactly this spelling
  bool spelledOtherwise = false;  // present, but some name differs in letter case
  std::string actualPath;       // relative path as spelled on disk, when present
  std::string fullPath;
};
TreeLookup LookUpInTree(const std::string& root, const std::string& relativePath);
