#pragma once
// Checks a server tree as the setup will read it.
#include <string>

#include "publish/problems.h"

inline constexpr char GeneralFileInfoName[] = "general_fileinfo.ini";
inline constexpr char CatalogueName[] = "autoupdate_languages.ini";
inline constexpr char PackageManifestName[] = "new_updates.ini";

ProblemList CheckTree(const std::string& root);

// Prints every problem and a closing line; 0 when the tree is clean, else 1.
int ReportTreeCheck(const std::string& root);
