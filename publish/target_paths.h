#pragma once
// Where a package may be placed on the user's machine.
#include <string>

// A drive letter with ":\", or "\\server\share\".
bool IsAbsoluteTargetPath(const std::string& path);

// Whether the path lies in one of the setup's two trees, whose folders are
// only the six the setup makes.
bool IsInSetupTrees(const std::string& path);
bool IsSetupFolder(const std::string& folder);
// The setup's own working files, which a package must not overwrite.
bool IsSetupWorkingFile(const std::string& path);

// The path up to its last "\" (without it).
std::string ParentFolder(const std::string& path);

// A name that can stand alone in a folder: no separators, no characters
// Windows refuses in file names, not "." or "..".
bool IsPlainFileName(const std::string& name);
