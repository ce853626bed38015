#pragma once
// Turns a release folder into the tree the update server serves.
#include <string>

// Exit status: 0 when the written tree is clean, 1 for problems in the release
// or the tree, 2 when the arguments or the file system stop it.
int PublishRelease(const std::string& releaseFolder, const std::string& outFolder, const std::string& baseUrl);
