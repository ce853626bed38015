#pragma once
#include <string>

inline constexpr char ShortcutScriptName[] = "createshortcut_temp.vbs";

// Puts linkName.lnk, pointing at target, into folder through a generated
// Windows Script Host script. Always true; the caller does not look at it.
bool CreateShortcut(std::string target, std::string folder, std::string linkName);
