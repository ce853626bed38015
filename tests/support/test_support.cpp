#include "test_support.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace hbtest {
namespace {

std::string RequiredEnv(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) {
    std::fprintf(stderr, "%s is not set: run this program in the test bed (ctest, or tests/harness/wine-run.sh)\n",
                 name);
    std::exit(2);
  }
  return value;
}

std::string WithoutLeadingSlash(const std::string& urlPath) {
  std::size_t start = urlPath.find_first_not_of('/');
  return start == std::string::npos ? std::string() : urlPath.substr(start);
}

std::string RulePath(const std::string& urlPath) { return "/" + WithoutLeadingSlash(urlPath); }

std::string StateFile(const char* name) { return TestbedDir() + "\\" + name; }

void MakeParentFolders(const std::string& path) {
  for (std::size_t slash = path.find('\\', 3); slash != std::string::npos; slash = path.find('\\', slash + 1))
    CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

void WriteLines(const std::string& path, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  WriteFileBytes(path, text);
}

}  // namespace

std::string TestbedDir() { return RequiredEnv("HB_TESTBED"); }
std::string TestBinDir() { return RequiredEnv("HB_TEST_BIN"); }
std::string TestBinPath(const std::string& fileName) { return TestBinDir() + "\\" + fileName; }
int TestPort() { return std::atoi(RequiredEnv("HB_TEST_PORT").c_str()); }
int UntrustedPort() { return std::atoi(RequiredEnv("HB_UNTRUSTED_PORT").c_str()); }

std::string ServerUrl(const std::string& urlPath) {
  return "https://localhost:" + std::to_string(TestPort()) + "/" + WithoutLeadingSlash(urlPath);
}

std::string UntrustedServerUrl(const std::string& urlPath) {
  return "https://localhost:" + std::to_string(UntrustedPort()) + "/" + WithoutLeadingSlash(urlPath);
}

std::string ServedFilePath(const std::string& urlPath) {
  std::string path = StateFile("www") + "\\" + WithoutLeadingSlash(urlPath);
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

void ServeFile(const std::string& urlPath, const std::string& bytes) {
  std::string path = ServedFilePath(urlPath);
  MakeParentFolders(path);
  if (!WriteFileBytes(path, bytes)) {
    std::fprintf(stderr, "ServeFile: cannot write %s\n", path.c_str());
    std::exit(2);
  }
}

void ClearServer() {
  std::string www = StateFile("www");
  RemoveTree(www);
  CreateDirectoryA(www.c_str(), nullptr);
  WriteFileBytes(StateFile("rules"), "");
  WriteFileBytes(StateFile("requests.log"), "");
}

void SetServerRule(const std::string& urlPath, const std::string& action) {
  std::string path = RulePath(urlPath);
  std::vector<std::string> kept;
  for (const std::string& line : ReadLines(StateFile("rules")))
    if (line.compare(0, path.size() + 1, path + " ") != 0) kept.push_back(line);
  kept.push_back(path + " " + action);
  WriteLines(StateFile("rules"), kept);
}

void ServerDown(bool down) {
  std::vector<std::string> kept;
  for (const std::string& line : ReadLines(StateFile("rules")))
    if (line != "down") kept.push_back(line);
  if (down) kept.push_back("down");
  WriteLines(StateFile("rules"), kept);
}

std::vector<std::string> RequestLog() {
  std::vector<std::string> paths;
  for (const std::string& line : ReadLines(StateFile("requests.log"))) {
    std::size_t space = line.find(' ');
    paths.push_back(space == std::string::npos ? line : line.substr(space + 1));
  }
  return paths;
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

bool PathPresent(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool RemoveTree(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
      RemoveDirectoryA(path.c_str());
    else
      DeleteFileA(path.c_str());
    return !PathPresent(path);
  }
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name != "." && name != "..") RemoveTree(path + "\\" + name);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
  return !PathPresent(path);
}

std::string ScratchDir() {
  std::string dir = StateFile("scratch");
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

std::string ScratchPath(const std::string& name) { return ScratchDir() + "\\" + name; }

bool ResetMachine() {
  static const char* const kLeftovers[] = {
      "C:\\Programme\\Hollowbranch",
      "C:\\ProgramData\\Hollowbranch",
      "C:\\hollowbranch_uninstall_proginstallpath_temp_name",
      "C:\\hollowbranch_uninstall_programdatapath_temp_name",
      "C:\\Programme",
  };
  bool allGone = true;
  for (const char* path : kLeftovers)
    if (!RemoveTree(path)) {
      std::fprintf(stderr, "ResetMachine: %s could not be removed\n", path);
      allGone = false;
    }
  return allGone;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  _putenv_s(name, value ? value : "");
  SetEnvironmentVariableA(name, value);
}

ScopedEnv::~ScopedEnv() {
  _putenv_s(name_.c_str(), old_ ? old_->c_str() : "");
  SetEnvironmentVariableA(name_.c_str(), old_ ? old_->c_str() : nullptr);
}

std::string BinaryPayload(std::size_t size, unsigned seed) {
  std::string bytes;
  bytes.reserve(size);
  for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<char>(value));
  bytes += "\r\n\n\r\x1a";
  bytes.append(64, '\0');
  unsigned state = seed ? seed : 1;
  while (bytes.size() < size) {
    state = state * 1103515245u + 12345u;
    bytes.push_back(static_cast<char>(state >> 23));
  }
  bytes.resize(size);
  return bytes;
}

}  // namespace hbtest
