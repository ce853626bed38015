#include "install_checks.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <utility>

namespace hbtest {

namespace {

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

std::string TestbedPath(const std::string& name) { return TestbedDir() + "\\" + name; }

std::string BytesOf(const std::string& path) { return ReadFileBytes(path).value_or(std::string()); }

void MakeDirectories(const std::string& path) {
  for (size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  }
}

std::vector<std::string> DirectoryEntries(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0) {
      names.push_back(data.cFileName);
    }
  } while (FindNextFileA(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

std::string DescribeIni(const std::string& path) {
  if (!PathPresent(path)) return "(no file)";
  std::vector<char> names(32768);
  const DWORD namesLength = GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), path.c_str());
  std::string text;
  for (const char* name = names.data(); name < names.data() + namesLength && *name != '\0';
       name += std::strlen(name) + 1) {
    text += std::string("[") + name + "]\n";
    std::vector<char> lines(32768);
    const DWORD linesLength =
        GetPrivateProfileSectionA(name, lines.data(), static_cast<DWORD>(lines.size()), path.c_str());
    for (const char* line = lines.data(); line < lines.data() + linesLength && *line != '\0';
         line += std::strlen(line) + 1) {
      text += std::string(line) + "\n";
    }
  }
  return text;
}

std::string LogRecord::Field(const std::string& key) const {
  auto found = fields.find(key);
  return found == fields.end() ? std::string() : found->second;
}

unsigned long LogRecord::Number(const std::string& key) const {
  return std::strtoul(Field(key).c_str(), nullptr, 10);
}

std::vector<LogRecord> ReadLog(const std::string& path) {
  std::vector<LogRecord> records;
  for (const std::string& line : SplitLines(BytesOf(path))) {
    if (line.empty()) continue;
    LogRecord record;
    std::istringstream fields(line);
    std::string field;
    std::getline(fields, record.kind, '\t');
    while (std::getline(fields, field, '\t')) {
      const size_t equals = field.find('=');
      if (equals != std::string::npos) record.fields[field.substr(0, equals)] = field.substr(equals + 1);
    }
    records.push_back(record);
  }
  return records;
}

std::vector<LogRecord> RecordsOfKind(const std::vector<LogRecord>& records, const std::string& kind) {
  std::vector<LogRecord> matching;
  for (const LogRecord& record : records) {
    if (record.kind == kind) matching.push_back(record);
  }
  return matching;
}

void ClearCaptures() {
  const std::string dir = TestbedPath("vbs-capture");
  for (const std::string& name : DirectoryEntries(dir)) RemoveTree(dir + "\\" + name);
}

std::vector<CapturedScript> Captures() {
  const std::string dir = TestbedPath("vbs-capture");
  std::vector<CapturedScript> captures;
  int number = 0;
  for (const std::string& source : SplitLines(BytesOf(dir + "\\calls.log"))) {
    ++number;
    CapturedScript capture;
    capture.sourcePath = source;
    capture.bytes = BytesOf(dir + "\\" + std::to_string(number) + ".vbs");
    capture.info = BytesOf(dir + "\\" + std::to_string(number) + ".txt");
    while (!capture.info.empty() && (capture.info.back() == '\n' || capture.info.back() == '\r')) {
      capture.info.pop_back();
    }
    captures.push_back(capture);
  }
  return captures;
}

FileWatcher::FileWatcher(std::string path) : path_(std::move(path)) {
  thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
}

FileWatcher::~FileWatcher() { Stop(); }

void FileWatcher::Stop() {
  if (thread_ == nullptr) return;
  InterlockedExchange(&stop_, 1);
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  thread_ = nullptr;
}

DWORD WINAPI FileWatcher::Watch(LPVOID self) {
  FileWatcher* watcher = static_cast<FileWatcher*>(self);
  while (InterlockedCompareExchange(&watcher->stop_, 0, 0) == 0) {
    if (std::optional<std::string> bytes = ReadFileBytes(watcher->path_)) {
      watcher->seen_ = true;
      watcher->lastBytes_ = *bytes;
    }
    Sleep(2);
  }
  return 0;
}

std::string CollapsedSeparators(const std::string& path) {
  std::string collapsed = path.substr(0, 2);
  for (size_t i = collapsed.size(); i < path.size(); ++i) {
    if (path[i] == '\\' && !collapsed.empty() && collapsed.back() == '\\') continue;
    collapsed += path[i];
  }
  return collapsed;
}

std::string ExpectedShortcutScript(const std::string& linkPath, const std::string& target) {
  return "Set Shell = CreateObject(\"WScript.Shell\")\r\n"
         "Set link = Shell.CreateShortcut(\"" + linkPath + "\")\r\n"
         "link.IconLocation = \"" + target + "\"\r\n"
         "link.TargetPath = \"" + target + "\"\r\n"
         "link.WindowStyle = 1\r\n"
         "link.Save";
}

bool WaitUntil(const std::function<bool()>& done, DWORD boundMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (done()) return true;
    if (GetTickCount() - start >= boundMs) return done();
    PumpMessages();
    Sleep(10);
  }
}

ChildProcess::ChildProcess(const std::string& exePath, const std::string& arguments) {
  std::string commandLine = "\"" + exePath + "\"" + (arguments.empty() ? "" : " " + arguments);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (CreateProcessA(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &info)) {
    CloseHandle(info.hThread);
    process_ = info.hProcess;
  }
}

ChildProcess::~ChildProcess() {
  Kill();
}

bool ChildProcess::WaitForExit(DWORD boundMs) {
  return process_ == nullptr || WaitForSingleObject(process_, boundMs) == WAIT_OBJECT_0;
}

void ChildProcess::Kill() {
  if (process_ == nullptr) return;
  if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
    TerminateProcess(process_, 0xDEAD);
    WaitForSingleObject(process_, 5000);
  }
  CloseHandle(process_);
  process_ = nullptr;
}

void EndProcessById(DWORD pid, DWORD graceMs) {
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
  if (process == nullptr) return;
  if (WaitForSingleObject(process, graceMs) != WAIT_OBJECT_0) {
    TerminateProcess(process, 0xDEAD);
    WaitForSingleObject(process, 5000);
  }
  CloseHandle(process);
}

std::string Joined(const std::vector<std::string>& lines, const char* separator) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i > 0 ? separator : "") + lines[i];
  return text;
}

}  // namespace hbtest
