#pragma once
// What the installation, shortcut and removal tests read back: the records of
// the fixture programs, the captured shortcut scripts, INI contents, and the
// small file and process chores around them.
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace hbtest {

// ------------------------------------------------------------------- files

// The test bed's state directory (HB_TESTBED) with name appended.
std::string TestbedPath(const std::string& name);
// The whole file, or "" when it cannot be read.
std::string BytesOf(const std::string& path);
void MakeDirectories(const std::string& path);  // every missing level
std::vector<std::string> DirectoryEntries(const std::string& dir);  // names, sorted

// Every section of an INI file with its lines, in file order, as text:
//   [INFO]\nversion=2.5\n[DATE]\nversion=...\n
// read through the profile functions, so the layout of the file itself does
// not matter, only its sections, keys, values and their order.
std::string DescribeIni(const std::string& path);

// ------------------------------------------------- records of the fixtures

// One line of a fixture log: the first field is its kind ("start", "end",
// "WM_DESTROY", ...), the others are key=value pairs.
struct LogRecord {
  std::string kind;
  std::map<std::string, std::string> fields;
  std::string Field(const std::string& key) const;
  unsigned long Number(const std::string& key) const;
};

std::vector<LogRecord> ReadLog(const std::string& path);
std::vector<LogRecord> RecordsOfKind(const std::vector<LogRecord>& records, const std::string& kind);

// The shortcut scripts the capture program received.
struct CapturedScript {
  std::string sourcePath;  // as the shell handed it over
  std::string bytes;
  std::string info;  // "show=<n> cmdline=..."
};
void ClearCaptures();
std::vector<CapturedScript> Captures();

// Watches one path from a thread of its own and keeps the last bytes it read
// there: sees a file that lives only for a moment.
class FileWatcher {
 public:
  explicit FileWatcher(std::string path);
  ~FileWatcher();
  FileWatcher(const FileWatcher&) = delete;
  FileWatcher& operator=(const FileWatcher&) = delete;
  // Stops watching; then Seen() and LastBytes() tell what was there.
  void Stop();
  bool Seen() const { return seen_; }
  const std::string& LastBytes() const { return lastBytes_; }

 private:
  static DWORD WINAPI Watch(LPVOID self);
  std::string path_;
  std::string lastBytes_;
  bool seen_ = false;
  volatile LONG stop_ = 0;
  HANDLE thread_ = nullptr;
};

// Collapses every run of backslashes after the first two characters into one:
// a path as the file system sees it.
std::string CollapsedSeparators(const std::string& path);

// The script the setup must hand to the script host for this folder and target.
std::string ExpectedShortcutScript(const std::string& linkPath, const std::string& target);

// ----------------------------------------------------------------- waiting

// Polls (pumping this thread's messages) until done() or the bound has passed.
bool WaitUntil(const std::function<bool()>& done, DWORD boundMs);

// A program of tests/bin started with CreateProcess; killed when it goes out
// of scope if still running.
class ChildProcess {
 public:
  ChildProcess(const std::string& exePath, const std::string& arguments);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  bool Started() const { return process_ != nullptr; }
  bool WaitForExit(DWORD boundMs);
  void Kill();

 private:
  HANDLE process_ = nullptr;
};

// Ends the process with this id if it is still running (bounded wait first).
void EndProcessById(DWORD pid, DWORD graceMs);

std::string Joined(const std::vector<std::string>& lines, const char* separator = "\n");

}  // namespace hbtest
