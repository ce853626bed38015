#include "publish_fixture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "test_support.h"

namespace pubtest {

namespace {

std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH * 2];
  DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : path;
}

std::string QuotedArgument(const std::string& argument) { return "\"" + argument + "\""; }

}  // namespace

RunResult RunProgram(const std::string& exe, const std::vector<std::string>& args) {
  RunResult result;
  result.exitCode = 0xFFFFFFFF;

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  std::string commandLine = QuotedArgument(exe);
  for (const std::string& argument : args) commandLine += " " + QuotedArgument(argument);
  std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
  mutableLine.push_back('\0');

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessA(exe.c_str(), mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &startup, &process);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    ADD_FAILURE() << "cannot start " << exe << ": error " << GetLastError();
    return result;
  }

  std::string output;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) output.append(chunk, got);
  CloseHandle(readEnd);
  if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
    ADD_FAILURE() << exe << " did not end within 60 s";
    TerminateProcess(process.hProcess, 1);
  }
  GetExitCodeProcess(process.hProcess, &result.exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    result.lines.push_back(line);
    start = end + 1;
  }
  return result;
}

RunResult RunPublish(const std::vector<std::string>& args) { return RunProgram(PublishExe(), args); }

std::string PublishExe() {
  return FullPath(hbtest::TestBinPath(HB_BUILD_ROOT_FROM_TEST_BIN "\\hollowbranch-publish.exe"));
}

std::string SampleReleaseDir() { return FullPath(hbtest::TestBinPath(HB_SAMPLE_RELEASE_FROM_TEST_BIN)); }

std::vector<std::string> ProblemLines(const RunResult& result) {
  std::vector<std::string> lines = result.lines;
  if (!lines.empty()) lines.pop_back();
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "  " + line + "\n";
  return text;
}

std::string JoinPath(const std::string& folder, const std::string& name) { return folder + "\\" + name; }

namespace {

void CollectFiles(const std::string& root, const std::string& relative, std::vector<std::string>& files) {
  WIN32_FIND_DATAA entry;
  const std::string folder = relative.empty() ? root : JoinPath(root, relative);
  HANDLE search = FindFirstFileA(JoinPath(folder, "*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    const std::string path = relative.empty() ? name : JoinPath(relative, name);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      CollectFiles(root, path, files);
    } else {
      files.push_back(path);
    }
  } while (FindNextFileA(search, &entry));
  FindClose(search);
}

}  // namespace

std::vector<std::string> FilesUnder(const std::string& root) {
  std::vector<std::string> files;
  CollectFiles(root, "", files);
  std::sort(files.begin(), files.end());
  return files;
}

std::string EnglishLanguageFile() {
  return "SP#quit = \"Quit the setup?\"\r\n"
         "BT#cancel = \"Cancel\"\r\n"
         "SP#install_succeed = \"Installed. Start it now?\"\r\n"
         "SP#repair = \"Repair\"\r\n"
         "SP#uninstall = \"Uninstall\"\r\n"
         "SP#want_to_uninstall = \"Remove it?\"\r\n"
         "SP#uninstall_succeed = \"Removed.\"\r\n"
         "SP#exist = \"Already installed.\"\r\n";
}

std::string WriteFixtureRelease(const std::string& name) {
  const std::string release = hbtest::ScratchPath(name);
  hbtest::RemoveTree(release);
  CreateDirectoryA(release.c_str(), nullptr);
  CreateDirectoryA(JoinPath(release, "texts").c_str(), nullptr);

  const std::string german =
      "SP#quit = \"Setup beenden?\"\n"
      "BT#cancel = \"Abbrechen\"\n"
      "SP#install_succeed = \"Installiert. Jetzt starten?\"\n"
      "SP#repair = \"Reparieren\"\n"
      "SP#uninstall = \"Deinstallieren\"\n"
      "SP#want_to_uninstall = \"M\xF6" "chten Sie es entfernen?\"\n"
      "SP#uninstall_succeed = \"Vollst\xE4ndig entfernt.\"\n"
      "SP#exist = \"Bereits installiert.\"\n";
  EXPECT_TRUE(hbtest::WriteFileBytes(JoinPath(release, "English.lng"), EnglishLanguageFile()));
  EXPECT_TRUE(hbtest::WriteFileBytes(JoinPath(release, "texts\\German.lng"), german));
  EXPECT_TRUE(hbtest::WriteFileBytes(JoinPath(release, "product.bin"), hbtest::BinaryPayload(3000)));
  EXPECT_TRUE(hbtest::WriteFileBytes(JoinPath(release, "Read me.txt"), "Read me.\r\n"));
  EXPECT_TRUE(hbtest::WriteFileBytes(JoinPath(release, "tool.exe"), hbtest::BinaryPayload(500, 7)));
  EXPECT_TRUE(hbtest::WriteFileBytes(JoinPath(release, "release.ini"),
                                     "[RELEASE]\r\nversion=2.5\r\ndate=2024-07-01\r\n"
                                     "[LANGUAGES]\r\n0=ENGLISH\r\n1=GERMAN\r\n"
                                     "[ENGLISH]\r\nlistname=English\r\nshowname=English\r\nfile=English.lng\r\n"
                                     "[GERMAN]\r\nlistname=Deutsch\r\nshowname=German\r\nfile=texts\\German.lng\r\n"
                                     "[PACKAGES]\r\n0=PRODUCT\r\n1=README\r\n2=TOOL\r\n"
                                     "[PRODUCT]\r\nname=product\r\nshowname=Product\r\ndate=2024-07-01\r\n"
                                     "target=C:\\Programme\\Hollowbranch\\Hollowbranch.exe\r\nfile=product.bin\r\n"
                                     "[README]\r\nname=readme\r\nshowname=Readme\r\ndate=2024-07-02\r\n"
                                     "target=C:\\Programme\\Hollowbranch\\Files\\Read me.txt\r\nfile=Read me.txt\r\n"
                                     "[TOOL]\r\nname=tool\r\nshowname=Tool\r\ndate=2024-07-03\r\n"
                                     "installer=1\r\nfile=tool.exe\r\n"));
  return release;
}

std::string PublishFixtureTree(const std::string& name) {
  const std::string release = WriteFixtureRelease(name + "-release");
  const std::string tree = hbtest::ScratchPath(name);
  hbtest::RemoveTree(tree);
  RunResult published = RunPublish({"publish", release, tree, FixtureBase});
  EXPECT_EQ(0u, published.exitCode) << "publishing the fixture release:\n" << Joined(published.lines);
  return tree;
}

std::string IniRead(const std::string& file, const char* section, const char* key) {
  char value[2048];
  GetPrivateProfileStringA(section, key, "<missing>", value, sizeof value, file.c_str());
  return value;
}

void IniSet(const std::string& file, const char* section, const char* key, const char* value) {
  ASSERT_TRUE(WritePrivateProfileStringA(section, key, value, file.c_str())) << file;
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
}

void ReplaceInFile(const std::string& file, const std::string& from, const std::string& to) {
  std::optional<std::string> bytes = hbtest::ReadFileBytes(file);
  ASSERT_TRUE(bytes.has_value()) << file;
  size_t at = bytes->find(from);
  ASSERT_NE(std::string::npos, at) << "\"" << from << "\" not in " << file;
  bytes->replace(at, from.size(), to);
  ASSERT_TRUE(hbtest::WriteFileBytes(file, *bytes)) << file;
}

}  // namespace pubtest
