#pragma once
// Retrieval of the server's manifests into the options directory.
#include <windows.h>

// "https://" + the build's update host + "/general_fileinfo.ini".
extern const char* const ManifestAddress;

// Capacity of the two addresses read from general_fileinfo.ini.
inline constexpr int ManifestAddressCapacity = 500;

DWORD WINAPI FetchManifestsThread(LPVOID);
