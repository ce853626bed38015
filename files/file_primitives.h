#pragma once
// File primitives every part of the setup rests on.

// How long RemoveUntilGone keeps trying before it gives up, and its pause
// between attempts.
inline constexpr unsigned long RemoveUntilGoneTimeoutMs = 5000;
inline constexpr unsigned long RemoveRetryPauseMs = 20;
// The wait for a running installer lasts seconds to minutes: retrying less
// often keeps it from costing the machine a measurable share of a core.
inline constexpr unsigned long InstallerWaitPauseMs = 100;

// Makes the six directories of the install and data trees (and their missing
// parents) and hides the data tree.
void CreateProgramDirectories();

bool IsDirectory(const char* path);

// True for a directory, or for a file this process can open for reading now.
bool FileExists(const char* path);

// Deletes the file until FileExists no longer finds it. False when the path is
// still there after RemoveUntilGoneTimeoutMs.
bool RemoveUntilGone(const char* path);

// Deletes the file until it is gone, however long that takes: the program file
// of a running installer goes only when the installer ends.
void WaitUntilRemoved(const char* path);

// Fetches an https:// address into destination, fresh from the server. True
// only for a whole file from a 2xx answer; on failure nothing is left behind.
bool DownloadFile(const char* url, const char* destination);
